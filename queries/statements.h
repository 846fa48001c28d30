// The system's statements, in the Oracle dialect every backend runs, as the
// query operations send them. The tests run the same texts.
#pragma once

#include <string_view>

namespace zx::statements {

// The terminal row: model and message set.
inline constexpr std::string_view kSelectTerminal =
    "select TRMMOD ,TRMSAL into :b0:b1,:b2:b3  from Zardonix.Zdx1140Trm where (TrmNam=:b4 and "
    "((TrmSta<>4 and TrmSta<>8) or TrmSta is null ))";

// The number of valid badge assignments of the terminal.
inline constexpr std::string_view kCountAssignments =
    "select count(*)  into :b0:b1  from Zardonix.Zdx115Tfz where (TfzTrm=:b2 and ((TfzSta<>4 "
    "and TfzSta<>8) or TfzSta is null ))";

// Rows of the terminal table with the name, whatever their status.
inline constexpr std::string_view kCountTerminalNames =
    "select count(*)  into :b0:b1  from Zardonix.Zdx1140Trm where TrmNam=:b2";

// Badge assignment rows of the terminal name, whatever their status.
inline constexpr std::string_view kCountAssignmentNames =
    "select count(*)  into :b0:b1  from Zardonix.Zdx115Tfz where TfzTrm=:b2";

// Badges valid today whose LIZ and MND match an assignment row of the terminal.
inline constexpr std::string_view kBadgeCursorAssigned =
    "select AswNum ,TO_CHAR(AswGvo,'yyyymmdd') ,TO_CHAR(AswGbi,'yyyymmdd') ,AswPnr ,AswBkl ,AswGrp "
    ",AswAan ,AswAtp ,AwvSto ,AswSal ,AswBk2 ,AswSpr ,AswPin  from Zardonix.Zdx301Asw "
    ",Zardonix.Zdx113Awv ,Zardonix.Zdx115Tfz where (((((((TFZTRM=:b0 and ASWLIZ=TFZLIZ) and "
    "ASWMND=TFZMND) and ASWNUM=AWVNUM) and (((trunc(SYSDATE)>=AswGvo and AswGbi is null ) or "
    "(trunc(SYSDATE)<=AswGbi and trunc(AswGvo) is null )) or (trunc(SYSDATE)>=AswGvo and "
    "trunc(SYSDATE)<=AswGbi))) and (AWVCOD<>8 or AWVCOD is null )) and ((AwvSta<>4 and "
    "AwvSta<>8) or AwvSta is null )) and ((AswSta<>4 and AswSta<>8) or AswSta is null )) order "
    "by AswNum,AswGvo,AswBkl";

// All badges valid today.
inline constexpr std::string_view kBadgeCursorAll =
    "select AswNum ,TO_CHAR(AswGvo,'yyyymmdd') ,TO_CHAR(AswGbi,'yyyymmdd') ,AswPnr ,AswBkl ,AswGrp "
    ",AswAan ,AswAtp ,AwvSto ,AswSal ,AswBk2 ,AswSpr ,AswPin  from Zardonix.Zdx301Asw "
    ",Zardonix.Zdx113Awv where ((((ASWNUM=AWVNUM and (((trunc(SYSDATE)>=AswGvo and AswGbi is "
    "null ) or (trunc(SYSDATE)<=AswGbi and trunc(AswGvo) is null )) or (trunc(SYSDATE)>=AswGvo "
    "and trunc(SYSDATE)<=AswGbi))) and (AWVCOD<>8 or AWVCOD is null )) and ((AwvSta<>4 and "
    "AwvSta<>8) or AwvSta is null )) and ((AswSta<>4 and AswSta<>8) or AswSta is null )) order "
    "by AswNum,AswGvo,AswBkl";

// Time-right rows ('1') of the terminal for classes the badge holds.
inline constexpr std::string_view kCountTimeRights =
    "select count(*)  into :b0:b1  from Zardonix.MGSST35P where ((M35Trm=:b2 and M35Bch='1') and "
    "M35Bkl in (select AWBBKL  from Zardonix.Zdx301Awb where AWBASW=:b3))";

// The terminal's valid readers up to a reader number, ascending.
inline constexpr std::string_view kReaders =
    "select ZlsLes ,ZlsZko  from Zardonix.Zdx401Zls where ((ZlsTrm=:b0 and ZlsLes<=:b1) and "
    "((ZlsSta<>4 and ZlsSta<>8) or ZlsSta is null )) order by ZlsLes";

// The distinct access-right ('0') classes of the badge on the terminal, descending.
inline constexpr std::string_view kAccessClasses =
    "select distinct M35BKL  from Zardonix.MGSST35P ,Zardonix.Zdx301Awb where (((M35TRM=:b0 and "
    "AWBASW=:b1) and M35Bch='0') and M35Bkl=AWBBKL) order by M35BKL desc";

// Every right row of the terminal: its class and its kind ('0' access, '1'
// time). A run reads them once; the time right and the access classes of a
// badge then follow from the badge's own classes (kBadgeClasses) exactly as
// kCountTimeRights and kAccessClasses give them.
inline constexpr std::string_view kTerminalRights =
    "select M35Bkl ,M35Bch  from Zardonix.MGSST35P where M35Trm=:b0";

// The classes a badge holds.
inline constexpr std::string_view kBadgeClasses =
    "select AwbBkl  from Zardonix.Zdx301Awb where AwbAsw=:b0";

// The short text of the badge's valid location.
inline constexpr std::string_view kLocationText =
    "select StoKtx into :b0:b1  from Zardonix.Zdx113Sto ,Zardonix.Zdx113Awv where (((AwvNum=:b2 "
    "and StoNum=AwvSto) and ((AwvSta<>4 and AwvSta<>8) or AwvSta is null )) and ((StoSta<>4 and "
    "StoSta<>8) or StoSta is null ))";

// The badge's balance row; one statement of more than 1024 characters.
inline constexpr std::string_view kBalanceData =
    "select TswW01 ,substr(TswW02,1,1) ,substr(TswW02,2,9) ,substr(TswW03,1,1) ,substr(TswW03,2,9) "
    ",substr(TswW04,1,1) ,substr(TswW04,2,9) ,substr(TswW05,1,1) ,substr(TswW05,2,9) "
    ",substr(TswW06,1,1) ,substr(TswW06,2,9) ,substr(TswW07,1,1) ,substr(TswW07,2,9) "
    ",substr(TswW08,1,1) ,substr(TswW08,2,9) ,substr(TswW09,1,1) ,substr(TswW09,2,9) "
    ",substr(TswW10,1,1) ,substr(TswW10,2,9) ,substr(TswW11,1,1) ,substr(TswW11,2,9) "
    ",substr(TswW12,1,1) ,substr(TswW12,2,9) ,substr(TswW13,1,1) ,substr(TswW13,2,9) "
    ",substr(TswW14,1,1) ,substr(TswW14,2,9) ,substr(TswW15,1,1) ,substr(TswW15,2,9) "
    ",substr(TswW16,1,1) ,substr(TswW16,2,9) ,TswF01 ,TswF02 ,TswF03 ,TswF04 ,TswF05 ,TswF06 "
    ",TswF07 ,TswF08 ,TswF09 ,TswF10 into :b0:b1,:b2:b3,:b4:b5,:b6:b7,:b8:b9,:b10:b11,:b12:b13,"
    ":b14:b15,:b16:b17,:b18:b19,:b20:b21,:b22:b23,:b24:b25,:b26:b27,:b28:b29,:b30:b31,:b32:b33,"
    ":b34:b35,:b36:b37,:b38:b39,:b40:b41,:b42:b43,:b44:b45,:b46:b47,:b48:b49,:b50:b51,:b52:b53,"
    ":b54:b55,:b56:b57,:b58:b59,:b60:b61,:b62:b63,:b64:b65,:b66:b67,:b68:b69,:b70:b71,:b72:b73,"
    ":b74:b75,:b76:b77,:b78:b79,:b80:b81  from ZARDONIX.O2002TSW where TSWIDN=:b82";

// The display texts of the terminal's message set.
inline constexpr std::string_view kTerminalTexts =
    "select MsdLfd ,NVL(MsdSpl,1) ,SubStr(FtxT50,1,17) ,SubStr(MsdTxt,1,12)  from "
    "Zardonix.Zdx1140Trm ,Zardonix.Zdx119Msd ,Zardonix.Zdx102Whl where (((((((TrmNam=:b0 and "
    "TrmSal=MsdSal) and ((TrmMnd=MsdMnd and TrmLiz=MsdLiz) or MSDERF='KALDOVA')) and "
    "FtxNumSpr=220001) and FtxWhl=MsdAnz) and FtxSpr=TrmSpr) and ((TrmSta<>4 and TrmSta<>8) "
    "or TrmSta is null )) and ((MsdSta<>4 and MsdSta<>8) or MsdSta is null )) order by "
    "MsdSal,MsdLfd";

// The value code of one display text of the terminal's message set.
inline constexpr std::string_view kTerminalTextCode =
    "select FTXT10 into :b0:b1  from ZARDONIX.ZDX1140TRM ,ZARDONIX.ZDX119MSD "
    ",ZARDONIX.ZDX102WHL where ((((((((TrmNam=:b2 and TrmSal=MsdSal) and ((TrmMnd=MsdMnd and "
    "TrmLiz=MsdLiz) or MSDERF='KALDOVA')) and FtxNumSpr=220002) and FtxWhl=MsdWrt) and "
    "FtxSpr=TrmSpr) and MsdLfd=:b3) and ((TrmSta<>4 and TrmSta<>8) or TrmSta is null )) and "
    "((MsdSta<>4 and MsdSta<>8) or MsdSta is null ))";

// The display texts of the message set of a badge valid today.
inline constexpr std::string_view kBadgeTexts =
    "select MsdLfd ,NVL(MsdSpl,1) ,SubStr(FtxT50,1,12) ,SubStr(MsdTxt,1,12)  from "
    "Zardonix.Zdx301Asw ,Zardonix.Zdx119Msd ,Zardonix.Zdx102Whl where (((((((AswNum=:b0 and "
    "AswSal=MsdSal) and FtxNumSpr=220001) and FtxWhl=MsdAnz) and FtxSpr=AswSpr) and "
    "(((trunc(SYSDATE)>=AswGvo and AswGbi is null ) or (trunc(SYSDATE)<=AswGbi and "
    "trunc(AswGvo) is null )) or (trunc(SYSDATE)>=AswGvo and trunc(SYSDATE)<=AswGbi))) and "
    "((AswSta<>4 and AswSta<>8) or AswSta is null )) and ((MsdSta<>4 and MsdSta<>8) or "
    "MsdSta is null )) order by MsdSal,MsdLfd";

// The value code of one display text of the badge's message set.
inline constexpr std::string_view kBadgeTextCode =
    "select FTXT10 into :b0:b1  from ZARDONIX.ZDX301ASW ,ZARDONIX.ZDX119MSD "
    ",ZARDONIX.ZDX102WHL where ((((((((AswNum=:b2 and AswSal=MsdSal) and FtxNumSpr=220002) "
    "and FtxWhl=MsdWrt) and FtxSpr=AswSpr) and MSDLFD=:b3) and (((trunc(SYSDATE)>=AswGvo and "
    "AswGbi is null ) or (trunc(SYSDATE)<=AswGbi and trunc(AswGvo) is null )) or "
    "(trunc(SYSDATE)>=AswGvo and trunc(SYSDATE)<=AswGbi))) and ((AswSta<>4 and AswSta<>8) or "
    "AswSta is null )) and ((MsdSta<>4 and MsdSta<>8) or MsdSta is null ))";

// Every statement, for the tests that run them all.
inline constexpr std::string_view kAll[] = {
    kSelectTerminal,
    kCountAssignments,
    kCountTerminalNames,
    kCountAssignmentNames,
    kBadgeCursorAssigned,
    kBadgeCursorAll,
    kCountTimeRights,
    kReaders,
    kAccessClasses,
    kTerminalRights,
    kBadgeClasses,
    kLocationText,
    kBalanceData,
    kTerminalTexts,
    kTerminalTextCode,
    kBadgeTexts,
    kBadgeTextCode,
};

// What each statement is for, in the words of the reasons a failed run gives.
struct Purpose {
  std::string_view statement;
  std::string_view purpose;
};
inline constexpr Purpose kPurposes[] = {
    {kSelectTerminal, "Terminal lesen (Zdx1140Trm)"},
    {kCountAssignments, "Ausweiszuordnungen des Terminals zaehlen (Zdx115Tfz)"},
    {kCountTerminalNames, "Terminalnamen in Zdx1140Trm suchen"},
    {kCountAssignmentNames, "Terminalnamen in Zdx115Tfz suchen"},
    {kBadgeCursorAssigned, "zugeordnete Ausweise lesen (Ausweiscursor)"},
    {kBadgeCursorAll, "gueltige Ausweise lesen (Ausweiscursor)"},
    {kCountTimeRights, "Zeitberechtigung des Ausweises pruefen (MGSST35P)"},
    {kReaders, "Leser des Terminals lesen (Zdx401Zls)"},
    {kAccessClasses, "Zutrittsklassen des Ausweises lesen (MGSST35P, Zdx301Awb)"},
    {kTerminalRights, "Berechtigungen des Terminals lesen (MGSST35P)"},
    {kBadgeClasses, "Klassen des Ausweises lesen (Zdx301Awb)"},
    {kLocationText, "Standortbezeichnung lesen (Zdx113Sto)"},
    {kBalanceData, "Saldodaten lesen (O2002TSW)"},
    {kTerminalTexts, "Anzeigetexte des Terminals lesen"},
    {kTerminalTextCode, "Wertcode eines Anzeigetexts des Terminals lesen"},
    {kBadgeTexts, "Anzeigetexte des Ausweises lesen"},
    {kBadgeTextCode, "Wertcode eines Anzeigetexts des Ausweises lesen"},
};

// The purpose of a statement text; empty for a text that is none of these.
constexpr std::string_view PurposeOf(std::string_view statement) {
  for (const Purpose& entry : kPurposes) {
    if (entry.statement == statement) return entry.purpose;
  }
  return {};
}

}  // namespace zx::statements
