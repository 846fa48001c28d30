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
-- The program's login needs USAGE on the schema and SELECT on the tables,
-- nothing more: it only reads.

CREATE SCHEMA IF NOT EXISTS zardonix;
SET search_path TO zardonix;

-- Terminals.
CREATE TABLE Zdx1140Trm (
  TrmNam text COLLATE "C", TrmMod text COLLATE "C", TrmSal text COLLATE "C", TrmSpr bigint,
  TrmMnd bigint, TrmLiz bigint, TrmSta bigint
);
CREATE INDEX Zdx1140Trm_TrmNam ON Zdx1140Trm (TrmNam);

-- Badge assignments of a terminal.
CREATE TABLE Zdx115Tfz (TfzTrm text COLLATE "C", TfzLiz bigint, TfzMnd bigint, TfzSta bigint);
CREATE INDEX Zdx115Tfz_TfzTrm ON Zdx115Tfz (TfzTrm);

-- Badges, one row per validity period.
CREATE TABLE Zdx301Asw (
  AswNum text COLLATE "C", AswGvo timestamp(0), AswGbi timestamp(0), AswPnr text COLLATE "C",
  AswBkl text COLLATE "C", AswBk2 text COLLATE "C", AswGrp text COLLATE "C",
  AswAan text COLLATE "C", AswAtp bigint, AswSal text COLLATE "C", AswSpr bigint,
  AswPin text COLLATE "C", AswLiz bigint, AswMnd bigint, AswSta bigint
);
CREATE INDEX Zdx301Asw_AswNum ON Zdx301Asw (AswNum);

-- Badge use: the location of a badge.
CREATE TABLE Zdx113Awv (AwvNum text COLLATE "C", AwvSto bigint, AwvCod bigint, AwvSta bigint);
CREATE INDEX Zdx113Awv_AwvNum ON Zdx113Awv (AwvNum);

-- Locations.
CREATE TABLE Zdx113Sto (StoNum bigint, StoKtx text COLLATE "C", StoSta bigint);
CREATE INDEX Zdx113Sto_StoNum ON Zdx113Sto (StoNum);

-- Rights of a terminal: M35Bch '0' access right, '1' time right.
CREATE TABLE MGSST35P (M35Trm text COLLATE "C", M35Bkl text COLLATE "C", M35Bch text COLLATE "C");
CREATE INDEX MGSST35P_M35Trm ON MGSST35P (M35Trm, M35Bkl);

-- Access classes of a badge.
CREATE TABLE Zdx301Awb (AwbAsw text COLLATE "C", AwbBkl text COLLATE "C");
CREATE INDEX Zdx301Awb_AwbAsw ON Zdx301Awb (AwbAsw);

-- Readers of a terminal.
CREATE TABLE Zdx401Zls (ZlsTrm text COLLATE "C", ZlsLes bigint, ZlsZko text COLLATE "C", ZlsSta bigint);
CREATE INDEX Zdx401Zls_ZlsTrm ON Zdx401Zls (ZlsTrm);

-- Balances: TswW01..TswW16 sign and value, TswF01..TswF10 texts.
CREATE TABLE O2002TSW (
  TswIdn text COLLATE "C",
  TswW01 text COLLATE "C", TswW02 text COLLATE "C", TswW03 text COLLATE "C", TswW04 text COLLATE "C",
  TswW05 text COLLATE "C", TswW06 text COLLATE "C", TswW07 text COLLATE "C", TswW08 text COLLATE "C",
  TswW09 text COLLATE "C", TswW10 text COLLATE "C", TswW11 text COLLATE "C", TswW12 text COLLATE "C",
  TswW13 text COLLATE "C", TswW14 text COLLATE "C", TswW15 text COLLATE "C", TswW16 text COLLATE "C",
  TswF01 text COLLATE "C", TswF02 text COLLATE "C", TswF03 text COLLATE "C", TswF04 text COLLATE "C",
  TswF05 text COLLATE "C", TswF06 text COLLATE "C", TswF07 text COLLATE "C", TswF08 text COLLATE "C",
  TswF09 text COLLATE "C", TswF10 text COLLATE "C"
);
CREATE INDEX O2002TSW_TswIdn ON O2002TSW (TswIdn);

-- Display messages of a message set.
CREATE TABLE Zdx119Msd (
  MsdSal text COLLATE "C", MsdLfd bigint, MsdSpl bigint, MsdTxt text COLLATE "C", MsdAnz bigint,
  MsdWrt bigint, MsdMnd bigint, MsdLiz bigint, MsdErf text COLLATE "C", MsdSta bigint
);
CREATE INDEX Zdx119Msd_MsdSal ON Zdx119Msd (MsdSal);

-- Text table: labels (220001) and value codes (220002) by number and variant.
CREATE TABLE Zdx102Whl (
  FtxNumSpr bigint, FtxWhl bigint, FtxSpr bigint, FtxT50 text COLLATE "C", FtxT10 text COLLATE "C"
);
CREATE INDEX Zdx102Whl_Key ON Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr);
