// Read-only statements of zeprink-explain, for the explanation only: they
// show the stored facts behind an answer of the program's own statements
// (queries/statements.h), which alone decide what goes into a DNL file.
// Every condition here is written as the program's statements write it, so
// that a flag reads the same as the statement that it explains.
#pragma once

#include <string_view>

namespace zx::explain {

// Today as the database sees it (SYSDATE of the run's transaction).
inline constexpr std::string_view kToday = "select TO_CHAR(SYSDATE,'yyyymmdd') into :b0:b1 ";

// Every row of the badge with the badge cursor's conditions on it, one flag
// each: validity started, validity not ended, status not 4/8, and (for the
// assigned-badges form) an assignment row of the terminal for its licence
// and client.
inline constexpr std::string_view kBadgeRows =
    "select TO_CHAR(AswGvo,'yyyymmdd') ,TO_CHAR(AswGbi,'yyyymmdd') ,AswSta ,AswLiz ,AswMnd "
    ",case when trunc(SYSDATE)>=AswGvo then 1 else 0 end "
    ",case when trunc(SYSDATE)<=AswGbi then 1 else 0 end "
    ",case when ((AswSta<>4 and AswSta<>8) or AswSta is null ) then 1 else 0 end "
    ",case when exists (select TfzTrm from Zardonix.Zdx115Tfz where ((TFZTRM=:b0 and "
    "ASWLIZ=TFZLIZ) and ASWMND=TFZMND) and ((TfzSta<>4 and TfzSta<>8) or TfzSta is null )) "
    "then 1 else 0 end  from Zardonix.Zdx301Asw where AswNum=:b1 order by AswGvo,AswBkl";

// The badge-use rows of the badge with the cursor's two conditions as flags.
inline constexpr std::string_view kBadgeUse =
    "select AwvSto ,AwvCod ,AwvSta ,case when (AWVCOD<>8 or AWVCOD is null ) then 1 else 0 end "
    ",case when ((AwvSta<>4 and AwvSta<>8) or AwvSta is null ) then 1 else 0 end  from "
    "Zardonix.Zdx113Awv where AwvNum=:b0";

// The access classes of the badge.
inline constexpr std::string_view kBadgeClasses =
    "select AwbBkl  from Zardonix.Zdx301Awb where AwbAsw=:b0 order by AwbBkl";

// The right rows of the terminal: class and kind ('0' access, '1' time).
inline constexpr std::string_view kTerminalRights =
    "select M35Bkl ,M35Bch  from Zardonix.MGSST35P where M35Trm=:b0 order by M35Bch,M35Bkl";

// The time-right rows ('1') of the terminal that a class of the badge meets.
inline constexpr std::string_view kTimeRightRows =
    "select M35Bkl  from Zardonix.MGSST35P ,Zardonix.Zdx301Awb where ((M35Trm=:b0 and "
    "M35Bch='1') and AWBASW=:b1) and M35Bkl=AWBBKL order by M35Bkl";

}  // namespace zx::explain
