-- The tables of the schema ZARDONIX on a PostgreSQL server: the same tables,
-- columns and indexes as the embedded database (schema/sqlite.sql).
-- Build:  psql "service=NAME" -v ON_ERROR_STOP=1 -f schema/postgresql.sql
-- (tools/pg_load_demo.sh builds it and loads the demo data).
--
-- The schema is the unquoted name zardonix, which the statements' unquoted
-- Zardonix.Table names reach; ALTER SESSION SET CURRENT_SCHEMA=ZARDONIX finds
-- it. Every column may be NULL and no key forbids duplicates. Dates are
-- timestamp(0), a point in local time to the second. Text columns use the
-- "C" collation: ORDER BY sorts byte-wise, as Oracle's binary sort does.
-- Every text column refuses the empty text (a date column refuses it by its
-- type): the program reads '' as NULL, as Oracle stores it, so an import
-- must write NULL for "no value"; one that writes '' fails loudly here.
-- The program's login needs USAGE on the schema and SELECT on the tables,
-- nothing more: it only reads.

CREATE SCHEMA IF NOT EXISTS zardonix;
SET search_path TO zardonix;

-- Terminals.
CREATE TABLE Zdx1140Trm (
  TrmNam text COLLATE "C" CHECK (TrmNam <> ''),
  TrmMod text COLLATE "C" CHECK (TrmMod <> ''),
  TrmSal text COLLATE "C" CHECK (TrmSal <> ''),
  TrmSpr bigint,
  TrmMnd bigint,
  TrmLiz bigint,
  TrmSta bigint
);
CREATE INDEX Zdx1140Trm_TrmNam ON Zdx1140Trm (TrmNam);

-- Badge assignments of a terminal.
CREATE TABLE Zdx115Tfz (
  TfzTrm text COLLATE "C" CHECK (TfzTrm <> ''),
  TfzLiz bigint,
  TfzMnd bigint,
  TfzSta bigint
);
CREATE INDEX Zdx115Tfz_TfzTrm ON Zdx115Tfz (TfzTrm);

-- Badges, one row per validity period.
CREATE TABLE Zdx301Asw (
  AswNum text COLLATE "C" CHECK (AswNum <> ''),
  AswGvo timestamp(0),
  AswGbi timestamp(0),
  AswPnr text COLLATE "C" CHECK (AswPnr <> ''),
  AswBkl text COLLATE "C" CHECK (AswBkl <> ''),
  AswBk2 text COLLATE "C" CHECK (AswBk2 <> ''),
  AswGrp text COLLATE "C" CHECK (AswGrp <> ''),
  AswAan text COLLATE "C" CHECK (AswAan <> ''),
  AswAtp bigint,
  AswSal text COLLATE "C" CHECK (AswSal <> ''),
  AswSpr bigint,
  AswPin text COLLATE "C" CHECK (AswPin <> ''),
  AswLiz bigint,
  AswMnd bigint,
  AswSta bigint
);
CREATE INDEX Zdx301Asw_AswNum ON Zdx301Asw (AswNum);

-- Badge use: the location of a badge.
CREATE TABLE Zdx113Awv (
  AwvNum text COLLATE "C" CHECK (AwvNum <> ''),
  AwvSto bigint,
  AwvCod bigint,
  AwvSta bigint
);
CREATE INDEX Zdx113Awv_AwvNum ON Zdx113Awv (AwvNum);

-- Locations.
CREATE TABLE Zdx113Sto (
  StoNum bigint,
  StoKtx text COLLATE "C" CHECK (StoKtx <> ''),
  StoSta bigint
);
CREATE INDEX Zdx113Sto_StoNum ON Zdx113Sto (StoNum);

-- Rights of a terminal: M35Bch '0' access right, '1' time right.
CREATE TABLE MGSST35P (
  M35Trm text COLLATE "C" CHECK (M35Trm <> ''),
  M35Bkl text COLLATE "C" CHECK (M35Bkl <> ''),
  M35Bch text COLLATE "C" CHECK (M35Bch <> '')
);
CREATE INDEX MGSST35P_M35Trm ON MGSST35P (M35Trm, M35Bkl);

-- Access classes of a badge.
CREATE TABLE Zdx301Awb (
  AwbAsw text COLLATE "C" CHECK (AwbAsw <> ''),
  AwbBkl text COLLATE "C" CHECK (AwbBkl <> '')
);
CREATE INDEX Zdx301Awb_AwbAsw ON Zdx301Awb (AwbAsw);

-- Readers of a terminal.
CREATE TABLE Zdx401Zls (
  ZlsTrm text COLLATE "C" CHECK (ZlsTrm <> ''),
  ZlsLes bigint,
  ZlsZko text COLLATE "C" CHECK (ZlsZko <> ''),
  ZlsSta bigint
);
CREATE INDEX Zdx401Zls_ZlsTrm ON Zdx401Zls (ZlsTrm);

-- Balances: TswW01..TswW16 sign and value, TswF01..TswF10 texts.
CREATE TABLE O2002TSW (
  TswIdn text COLLATE "C" CHECK (TswIdn <> ''),
  TswW01 text COLLATE "C" CHECK (TswW01 <> ''),
  TswW02 text COLLATE "C" CHECK (TswW02 <> ''),
  TswW03 text COLLATE "C" CHECK (TswW03 <> ''),
  TswW04 text COLLATE "C" CHECK (TswW04 <> ''),
  TswW05 text COLLATE "C" CHECK (TswW05 <> ''),
  TswW06 text COLLATE "C" CHECK (TswW06 <> ''),
  TswW07 text COLLATE "C" CHECK (TswW07 <> ''),
  TswW08 text COLLATE "C" CHECK (TswW08 <> ''),
  TswW09 text COLLATE "C" CHECK (TswW09 <> ''),
  TswW10 text COLLATE "C" CHECK (TswW10 <> ''),
  TswW11 text COLLATE "C" CHECK (TswW11 <> ''),
  TswW12 text COLLATE "C" CHECK (TswW12 <> ''),
  TswW13 text COLLATE "C" CHECK (TswW13 <> ''),
  TswW14 text COLLATE "C" CHECK (TswW14 <> ''),
  TswW15 text COLLATE "C" CHECK (TswW15 <> ''),
  TswW16 text COLLATE "C" CHECK (TswW16 <> ''),
  TswF01 text COLLATE "C" CHECK (TswF01 <> ''),
  TswF02 text COLLATE "C" CHECK (TswF02 <> ''),
  TswF03 text COLLATE "C" CHECK (TswF03 <> ''),
  TswF04 text COLLATE "C" CHECK (TswF04 <> ''),
  TswF05 text COLLATE "C" CHECK (TswF05 <> ''),
  TswF06 text COLLATE "C" CHECK (TswF06 <> ''),
  TswF07 text COLLATE "C" CHECK (TswF07 <> ''),
  TswF08 text COLLATE "C" CHECK (TswF08 <> ''),
  TswF09 text COLLATE "C" CHECK (TswF09 <> ''),
  TswF10 text COLLATE "C" CHECK (TswF10 <> '')
);
CREATE INDEX O2002TSW_TswIdn ON O2002TSW (TswIdn);

-- Display messages of a message set.
CREATE TABLE Zdx119Msd (
  MsdSal text COLLATE "C" CHECK (MsdSal <> ''),
  MsdLfd bigint,
  MsdSpl bigint,
  MsdTxt text COLLATE "C" CHECK (MsdTxt <> ''),
  MsdAnz bigint,
  MsdWrt bigint,
  MsdMnd bigint,
  MsdLiz bigint,
  MsdErf text COLLATE "C" CHECK (MsdErf <> ''),
  MsdSta bigint
);
CREATE INDEX Zdx119Msd_MsdSal ON Zdx119Msd (MsdSal);

-- Text table: labels (220001) and value codes (220002) by number and variant.
CREATE TABLE Zdx102Whl (
  FtxNumSpr bigint,
  FtxWhl bigint,
  FtxSpr bigint,
  FtxT50 text COLLATE "C" CHECK (FtxT50 <> ''),
  FtxT10 text COLLATE "C" CHECK (FtxT10 <> '')
);
CREATE INDEX Zdx102Whl_Key ON Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr);
