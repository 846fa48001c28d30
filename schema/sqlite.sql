-- The tables of the schema ZARDONIX in the embedded (SQLite) database.
-- Build a database:  sqlite3 zardonix.db < schema/sqlite.sql
--
-- Every column may be NULL and no key forbids duplicates: a terminal name or
-- a badge number may appear twice, as the access-control system allows.
-- Dates are text 'YYYY-MM-DD HH:MM:SS' in local time; integer columns are
-- INTEGER and text columns TEXT (byte-wise ordering, no collation).

-- The schema this file holds; ALTER SESSION SET CURRENT_SCHEMA names it.
CREATE TABLE zeprink_schema (name TEXT);
INSERT INTO zeprink_schema (name) VALUES ('ZARDONIX');

-- Terminals.
CREATE TABLE Zdx1140Trm (
  TrmNam TEXT, TrmMod TEXT, TrmSal TEXT, TrmSpr INTEGER, TrmMnd INTEGER, TrmLiz INTEGER,
  TrmSta INTEGER
);
CREATE INDEX Zdx1140Trm_TrmNam ON Zdx1140Trm (TrmNam);

-- Badge assignments of a terminal.
CREATE TABLE Zdx115Tfz (TfzTrm TEXT, TfzLiz INTEGER, TfzMnd INTEGER, TfzSta INTEGER);
CREATE INDEX Zdx115Tfz_TfzTrm ON Zdx115Tfz (TfzTrm);

-- Badges, one row per validity period.
CREATE TABLE Zdx301Asw (
  AswNum TEXT, AswGvo TEXT, AswGbi TEXT, AswPnr TEXT, AswBkl TEXT, AswBk2 TEXT, AswGrp TEXT,
  AswAan TEXT, AswAtp INTEGER, AswSal TEXT, AswSpr INTEGER, AswPin TEXT, AswLiz INTEGER,
  AswMnd INTEGER, AswSta INTEGER
);
CREATE INDEX Zdx301Asw_AswNum ON Zdx301Asw (AswNum);

-- Badge use: the location of a badge.
CREATE TABLE Zdx113Awv (AwvNum TEXT, AwvSto INTEGER, AwvCod INTEGER, AwvSta INTEGER);
CREATE INDEX Zdx113Awv_AwvNum ON Zdx113Awv (AwvNum);

-- Locations.
CREATE TABLE Zdx113Sto (StoNum INTEGER, StoKtx TEXT, StoSta INTEGER);
CREATE INDEX Zdx113Sto_StoNum ON Zdx113Sto (StoNum);

-- Rights of a terminal: M35Bch '0' access right, '1' time right.
CREATE TABLE MGSST35P (M35Trm TEXT, M35Bkl TEXT, M35Bch TEXT);
CREATE INDEX MGSST35P_M35Trm ON MGSST35P (M35Trm, M35Bkl);

-- Access classes of a badge.
CREATE TABLE Zdx301Awb (AwbAsw TEXT, AwbBkl TEXT);
CREATE INDEX Zdx301Awb_AwbAsw ON Zdx301Awb (AwbAsw);

-- Readers of a terminal.
CREATE TABLE Zdx401Zls (ZlsTrm TEXT, ZlsLes INTEGER, ZlsZko TEXT, ZlsSta INTEGER);
CREATE INDEX Zdx401Zls_ZlsTrm ON Zdx401Zls (ZlsTrm);

-- Balances: TswW01..TswW16 sign and value, TswF01..TswF10 texts.
CREATE TABLE O2002TSW (
  TswIdn TEXT,
  TswW01 TEXT, TswW02 TEXT, TswW03 TEXT, TswW04 TEXT, TswW05 TEXT, TswW06 TEXT, TswW07 TEXT,
  TswW08 TEXT, TswW09 TEXT, TswW10 TEXT, TswW11 TEXT, TswW12 TEXT, TswW13 TEXT, TswW14 TEXT,
  TswW15 TEXT, TswW16 TEXT,
  TswF01 TEXT, TswF02 TEXT, TswF03 TEXT, TswF04 TEXT, TswF05 TEXT, TswF06 TEXT, TswF07 TEXT,
  TswF08 TEXT, TswF09 TEXT, TswF10 TEXT
);
CREATE INDEX O2002TSW_TswIdn ON O2002TSW (TswIdn);

-- Display messages of a message set.
CREATE TABLE Zdx119Msd (
  MsdSal TEXT, MsdLfd INTEGER, MsdSpl INTEGER, MsdTxt TEXT, MsdAnz INTEGER, MsdWrt INTEGER,
  MsdMnd INTEGER, MsdLiz INTEGER, MsdErf TEXT, MsdSta INTEGER
);
CREATE INDEX Zdx119Msd_MsdSal ON Zdx119Msd (MsdSal);

-- Text table: labels (220001) and value codes (220002) by number and variant.
CREATE TABLE Zdx102Whl (FtxNumSpr INTEGER, FtxWhl INTEGER, FtxSpr INTEGER, FtxT50 TEXT, FtxT10 TEXT);
CREATE INDEX Zdx102Whl_Key ON Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr);
