-- The tables of the schema ZARDONIX in the embedded (SQLite) database.
-- Build a database:  sqlite3 zardonix.db < schema/sqlite.sql
--
-- Every column may be NULL and no key forbids duplicates: a terminal name or
-- a badge number may appear twice, as the access-control system allows.
-- Dates are text 'YYYY-MM-DD HH:MM:SS' in local time; integer columns are
-- INTEGER and text columns TEXT (byte-wise ordering, no collation).
-- Every text and date column refuses the empty text: the program reads '' as
-- NULL (as Oracle stores it), so an import that writes '' for "no value"
-- must write NULL instead; one that does not fails loudly here.

-- The schema this file holds; ALTER SESSION SET CURRENT_SCHEMA names it.
CREATE TABLE zeprink_schema (
  name TEXT CHECK (name <> '')
);
INSERT INTO zeprink_schema (name) VALUES ('ZARDONIX');

-- Terminals.
CREATE TABLE Zdx1140Trm (
  TrmNam TEXT CHECK (TrmNam <> ''),
  TrmMod TEXT CHECK (TrmMod <> ''),
  TrmSal TEXT CHECK (TrmSal <> ''),
  TrmSpr INTEGER,
  TrmMnd INTEGER,
  TrmLiz INTEGER,
  TrmSta INTEGER
);
CREATE INDEX Zdx1140Trm_TrmNam ON Zdx1140Trm (TrmNam);

-- Badge assignments of a terminal.
CREATE TABLE Zdx115Tfz (
  TfzTrm TEXT CHECK (TfzTrm <> ''),
  TfzLiz INTEGER,
  TfzMnd INTEGER,
  TfzSta INTEGER
);
CREATE INDEX Zdx115Tfz_TfzTrm ON Zdx115Tfz (TfzTrm);

-- Badges, one row per validity period.
CREATE TABLE Zdx301Asw (
  AswNum TEXT CHECK (AswNum <> ''),
  AswGvo TEXT CHECK (AswGvo <> ''),
  AswGbi TEXT CHECK (AswGbi <> ''),
  AswPnr TEXT CHECK (AswPnr <> ''),
  AswBkl TEXT CHECK (AswBkl <> ''),
  AswBk2 TEXT CHECK (AswBk2 <> ''),
  AswGrp TEXT CHECK (AswGrp <> ''),
  AswAan TEXT CHECK (AswAan <> ''),
  AswAtp INTEGER,
  AswSal TEXT CHECK (AswSal <> ''),
  AswSpr INTEGER,
  AswPin TEXT CHECK (AswPin <> ''),
  AswLiz INTEGER,
  AswMnd INTEGER,
  AswSta INTEGER
);
CREATE INDEX Zdx301Asw_AswNum ON Zdx301Asw (AswNum);

-- Badge use: the location of a badge.
CREATE TABLE Zdx113Awv (
  AwvNum TEXT CHECK (AwvNum <> ''),
  AwvSto INTEGER,
  AwvCod INTEGER,
  AwvSta INTEGER
);
CREATE INDEX Zdx113Awv_AwvNum ON Zdx113Awv (AwvNum);

-- Locations.
CREATE TABLE Zdx113Sto (
  StoNum INTEGER,
  StoKtx TEXT CHECK (StoKtx <> ''),
  StoSta INTEGER
);
CREATE INDEX Zdx113Sto_StoNum ON Zdx113Sto (StoNum);

-- Rights of a terminal: M35Bch '0' access right, '1' time right.
CREATE TABLE MGSST35P (
  M35Trm TEXT CHECK (M35Trm <> ''),
  M35Bkl TEXT CHECK (M35Bkl <> ''),
  M35Bch TEXT CHECK (M35Bch <> '')
);
CREATE INDEX MGSST35P_M35Trm ON MGSST35P (M35Trm, M35Bkl);

-- Access classes of a badge.
CREATE TABLE Zdx301Awb (
  AwbAsw TEXT CHECK (AwbAsw <> ''),
  AwbBkl TEXT CHECK (AwbBkl <> '')
);
CREATE INDEX Zdx301Awb_AwbAsw ON Zdx301Awb (AwbAsw);

-- Readers of a terminal.
CREATE TABLE Zdx401Zls (
  ZlsTrm TEXT CHECK (ZlsTrm <> ''),
  ZlsLes INTEGER,
  ZlsZko TEXT CHECK (ZlsZko <> ''),
  ZlsSta INTEGER
);
CREATE INDEX Zdx401Zls_ZlsTrm ON Zdx401Zls (ZlsTrm);

-- Balances: TswW01..TswW16 sign and value, TswF01..TswF10 texts.
CREATE TABLE O2002TSW (
  TswIdn TEXT CHECK (TswIdn <> ''),
  TswW01 TEXT CHECK (TswW01 <> ''),
  TswW02 TEXT CHECK (TswW02 <> ''),
  TswW03 TEXT CHECK (TswW03 <> ''),
  TswW04 TEXT CHECK (TswW04 <> ''),
  TswW05 TEXT CHECK (TswW05 <> ''),
  TswW06 TEXT CHECK (TswW06 <> ''),
  TswW07 TEXT CHECK (TswW07 <> ''),
  TswW08 TEXT CHECK (TswW08 <> ''),
  TswW09 TEXT CHECK (TswW09 <> ''),
  TswW10 TEXT CHECK (TswW10 <> ''),
  TswW11 TEXT CHECK (TswW11 <> ''),
  TswW12 TEXT CHECK (TswW12 <> ''),
  TswW13 TEXT CHECK (TswW13 <> ''),
  TswW14 TEXT CHECK (TswW14 <> ''),
  TswW15 TEXT CHECK (TswW15 <> ''),
  TswW16 TEXT CHECK (TswW16 <> ''),
  TswF01 TEXT CHECK (TswF01 <> ''),
  TswF02 TEXT CHECK (TswF02 <> ''),
  TswF03 TEXT CHECK (TswF03 <> ''),
  TswF04 TEXT CHECK (TswF04 <> ''),
  TswF05 TEXT CHECK (TswF05 <> ''),
  TswF06 TEXT CHECK (TswF06 <> ''),
  TswF07 TEXT CHECK (TswF07 <> ''),
  TswF08 TEXT CHECK (TswF08 <> ''),
  TswF09 TEXT CHECK (TswF09 <> ''),
  TswF10 TEXT CHECK (TswF10 <> '')
);
CREATE INDEX O2002TSW_TswIdn ON O2002TSW (TswIdn);

-- Display messages of a message set.
CREATE TABLE Zdx119Msd (
  MsdSal TEXT CHECK (MsdSal <> ''),
  MsdLfd INTEGER,
  MsdSpl INTEGER,
  MsdTxt TEXT CHECK (MsdTxt <> ''),
  MsdAnz INTEGER,
  MsdWrt INTEGER,
  MsdMnd INTEGER,
  MsdLiz INTEGER,
  MsdErf TEXT CHECK (MsdErf <> ''),
  MsdSta INTEGER
);
CREATE INDEX Zdx119Msd_MsdSal ON Zdx119Msd (MsdSal);

-- Text table: labels (220001) and value codes (220002) by number and variant.
CREATE TABLE Zdx102Whl (
  FtxNumSpr INTEGER,
  FtxWhl INTEGER,
  FtxSpr INTEGER,
  FtxT50 TEXT CHECK (FtxT50 <> ''),
  FtxT10 TEXT CHECK (FtxT10 <> '')
);
CREATE INDEX Zdx102Whl_Key ON Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr);
