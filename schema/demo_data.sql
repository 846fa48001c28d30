-- Demo data: a small site with three terminals and twenty badges, valid on
-- any day from 2020 to 2040 (plus one expired and one not yet valid badge).
-- Load after the schema:  cat schema/sqlite.sql schema/demo_data.sql | sqlite3 demo.db
--
-- HAUPTEINGANG  7744-010  badge assignments (licences 10 and 11): filtered badge
--                         cursor; readers 1, 2, 3, 9; display set MS01; badges
--                         with message set MSB1 show their own display texts
-- WERKSTOR2     7598-002  no assignments: every valid badge; readers 1, 3;
--                         display set MS02 (through MsdErf 'KALDOVA')
-- KANTINE       7600-000  no assignments; reader 1 (reader 2 deleted); display set MS01
-- LAGER         7744-010  deleted terminal (status 4)
BEGIN;

-- Terminals.
INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz, TrmSta) VALUES ('HAUPTEINGANG', '7744-010', 'MS01', 1, 1, 10, NULL);
INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz, TrmSta) VALUES ('WERKSTOR2', '7598-002', 'MS02', 1, 1, 10, 0);
INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz, TrmSta) VALUES ('KANTINE', '7600-000', 'MS01', 1, 1, 10, NULL);
INSERT INTO Zdx1140Trm (TrmNam, TrmMod, TrmSal, TrmSpr, TrmMnd, TrmLiz, TrmSta) VALUES ('LAGER', '7744-010', 'MS01', 1, 1, 10, 4);

-- Badge assignments: HAUPTEINGANG serves the badges of licences 10 and 11.
INSERT INTO Zdx115Tfz (TfzTrm, TfzLiz, TfzMnd, TfzSta) VALUES ('HAUPTEINGANG', 10, 1, NULL);
INSERT INTO Zdx115Tfz (TfzTrm, TfzLiz, TfzMnd, TfzSta) VALUES ('HAUPTEINGANG', 11, 1, 0);

-- Badges. 10005 has an expired and a current validity period; 10010 is
-- deleted (status 4); 10019 expired; 10020 not yet valid; 10008 a visitor
-- badge without person number; 10011 holds no class with a right.
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10001', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1001', '10', NULL, 'VW', 'Mitarbeiter', 1, NULL, 1, '4711', 10, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10002', '2020-01-01 00:00:00', NULL, '1002', '20', '10', 'PR', 'Mitarbeiter', 1, NULL, 1, '0815', 10, 1, 0);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10003', NULL, '2040-12-31 00:00:00', '1003', '30', NULL, 'PR', 'Mitarbeiter', 1, 'MSB1', 1, '1234', 10, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10004', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1004', 'A1', NULL, 'LG', 'Fremdfirma', 2, NULL, 1, NULL, 11, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10005', '2015-01-01 00:00:00', '2019-12-31 00:00:00', '1005', '10', NULL, 'VW', 'Mitarbeiter', 1, NULL, 1, '5555', 11, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10005', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1005', '10', NULL, 'VW', 'Mitarbeiter', 1, NULL, 1, '5555', 11, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10006', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1006', '40', NULL, 'KU', 'Mitarbeiter', 1, NULL, 1, '6060', 12, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10007', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1007', '10', '20', 'PR', 'Mitarbeiter', 1, NULL, 1, '7070', 12, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10008', '2020-01-01 00:00:00', '2040-12-31 00:00:00', NULL, '20', NULL, 'BS', 'Besucher', 3, NULL, 1, NULL, 10, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10009', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1009', '10', NULL, 'VW', 'Mitarbeiter', 1, NULL, NULL, '9090', 10, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10010', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1010', '10', NULL, 'VW', 'Mitarbeiter', 1, NULL, 1, '1010', 10, 1, 4);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10011', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1011', '50', NULL, 'VW', 'Mitarbeiter', 1, NULL, 1, '1111', 10, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10012', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1012', '10', NULL, 'PR', 'Mitarbeiter', 1, NULL, 1, '1212', 10, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10013', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1013', '20', 'A1', 'LG', 'Mitarbeiter', 1, NULL, 1, '1313', 11, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10014', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1014', '30', NULL, 'PR', 'Aushilfe', 2, NULL, 1, '1414', 10, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10015', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1015', '10', NULL, 'VW', 'Mitarbeiter', 1, 'MSB1', 1, '1515', 11, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10016', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1016', '20', NULL, 'LG', 'Mitarbeiter', 1, NULL, 1, '1616', 12, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10017', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1017', '10', '20', 'PR', 'Mitarbeiter', 1, NULL, 1, '1717', 10, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10018', '2020-01-01 00:00:00', '2040-12-31 00:00:00', '1018', '30', NULL, 'LG', 'Fremdfirma', 2, NULL, 1, NULL, 12, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10019', '2015-01-01 00:00:00', '2019-12-31 00:00:00', '1019', '10', NULL, 'VW', 'Mitarbeiter', 1, NULL, 1, '1919', 10, 1, NULL);
INSERT INTO Zdx301Asw (AswNum, AswGvo, AswGbi, AswPnr, AswBkl, AswBk2, AswGrp, AswAan, AswAtp, AswSal, AswSpr, AswPin, AswLiz, AswMnd, AswSta) VALUES ('10020', '2041-01-01 00:00:00', NULL, '1020', '10', NULL, 'VW', 'Mitarbeiter', 1, NULL, 1, '2020', 10, 1, NULL);

-- Badge use: the location of each badge; 10012 is blocked (code 8); 10014
-- has no location; 10015 sits at the deleted location 5.
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10001', 1, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10002', 2, NULL, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10003', 2, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10004', 3, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10005', 1, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10006', 4, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10007', 1, NULL, 0);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10008', 4, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10009', 2, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10010', 1, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10011', 3, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10012', 1, 8, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10013', 3, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10014', NULL, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10015', 5, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10016', 1, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10017', 2, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10018', 3, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10019', 1, 0, NULL);
INSERT INTO Zdx113Awv (AwvNum, AwvSto, AwvCod, AwvSta) VALUES ('10020', 1, 0, NULL);

-- Locations.
INSERT INTO Zdx113Sto (StoNum, StoKtx, StoSta) VALUES (1, 'Verwaltung', NULL);
INSERT INTO Zdx113Sto (StoNum, StoKtx, StoSta) VALUES (2, 'Produktion', 0);
INSERT INTO Zdx113Sto (StoNum, StoKtx, StoSta) VALUES (3, 'Lager', NULL);
INSERT INTO Zdx113Sto (StoNum, StoKtx, StoSta) VALUES (4, 'EG', NULL);
INSERT INTO Zdx113Sto (StoNum, StoKtx, StoSta) VALUES (5, 'Versand', 4);

-- Rights: M35Bch '0' access right, '1' time right.
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('HAUPTEINGANG', '10', '0');
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('HAUPTEINGANG', '20', '0');
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('HAUPTEINGANG', 'A1', '0');
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('HAUPTEINGANG', '10', '1');
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('HAUPTEINGANG', '30', '1');
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('HAUPTEINGANG', 'A1', '1');
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('WERKSTOR2', '10', '0');
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('WERKSTOR2', '30', '0');
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('WERKSTOR2', '20', '1');
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('WERKSTOR2', '10', '1');
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('KANTINE', '40', '0');
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('KANTINE', '10', '1');
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('KANTINE', '20', '1');
INSERT INTO MGSST35P (M35Trm, M35Bkl, M35Bch) VALUES ('KANTINE', '40', '1');

-- Access classes of the badges.
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10001', '10');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10001', '20');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10002', '20');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10002', '30');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10003', '30');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10003', '10');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10004', 'A1');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10005', '10');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10006', '40');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10006', '10');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10007', '10');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10007', '20');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10007', '30');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10008', '20');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10009', '10');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10010', '10');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10011', '50');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10012', '10');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10013', '20');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10013', 'A1');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10014', '30');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10015', '10');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10016', '20');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10017', '10');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10017', '20');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10017', 'A1');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10018', '30');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10019', '10');
INSERT INTO Zdx301Awb (AwbAsw, AwbBkl) VALUES ('10020', '10');

-- Readers.
INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('HAUPTEINGANG', 1, 'EIN', NULL);
INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('HAUPTEINGANG', 2, 'AUS', NULL);
INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('HAUPTEINGANG', 3, 'TOR', 0);
INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('HAUPTEINGANG', 9, 'BUERO', NULL);
INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('WERKSTOR2', 1, 'EIN', NULL);
INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('WERKSTOR2', 3, 'AUS', NULL);
INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('KANTINE', 1, 'KASSE', NULL);
INSERT INTO Zdx401Zls (ZlsTrm, ZlsLes, ZlsZko, ZlsSta) VALUES ('KANTINE', 2, 'ALT', 8);

-- Balances: sign and value per column, and balance texts. 10004, 10008,
-- 10015 and 10018 have no balance row.
INSERT INTO O2002TSW (TswIdn, TswW01, TswW02, TswW03, TswW04, TswW05, TswW06, TswW07, TswW08, TswW09, TswW10, TswW11, TswW12, TswW13, TswW14, TswW15, TswW16, TswF01, TswF02, TswF03, TswF04, TswF05, TswF06, TswF07, TswF08, TswF09, TswF10) VALUES ('10001', '+   0,00', '+   12,50', '-    3,25', '+   38,50', '+   24,00', '+    2,00', '+    0,00', '-    1,75', '+  160,00', '+    0,00', '+    5,00', '+    0,00', '+    1,00', '+    0,00', '+    0,00', '+    3,00', 'Resturlaub 24 Tage', 'Gleitzeit im Plus', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO O2002TSW (TswIdn, TswW01, TswW02, TswW03, TswW04, TswW05, TswW06, TswW07, TswW08, TswW09, TswW10, TswW11, TswW12, TswW13, TswW14, TswW15, TswW16, TswF01, TswF02, TswF03, TswF04, TswF05, TswF06, TswF07, TswF08, TswF09, TswF10) VALUES ('10002', '+   0,00', '-    4,00', '+    0,00', '+   38,50', '+   30,00', '+    2,00', '+    0,00', '-    1,75', '+  152,00', '+    0,00', '+    5,00', '+    0,00', '+    1,00', '+    0,00', '+    0,00', '+    3,00', 'Resturlaub 30 Tage', 'Gleitzeit im Minus', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO O2002TSW (TswIdn, TswW01, TswW02, TswW03, TswW04, TswW05, TswW06, TswW07, TswW08, TswW09, TswW10, TswW11, TswW12, TswW13, TswW14, TswW15, TswW16, TswF01, TswF02, TswF03, TswF04, TswF05, TswF06, TswF07, TswF08, TswF09, TswF10) VALUES ('10003', '+   0,00', '+    8,25', '+    1,00', '+   38,50', '+   12,50', '+    2,00', '+    0,00', '-    1,75', '+  168,00', '+    0,00', '+    5,00', '+    0,00', '+    1,00', '+    0,00', '+    0,00', '+    3,00', 'Resturlaub 12,5 Tage', 'Zeitkonto ausgeglichen', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO O2002TSW (TswIdn, TswW01, TswW02, TswW03, TswW04, TswW05, TswW06, TswW07, TswW08, TswW09, TswW10, TswW11, TswW12, TswW13, TswW14, TswW15, TswW16, TswF01, TswF02, TswF03, TswF04, TswF05, TswF06, TswF07, TswF08, TswF09, TswF10) VALUES ('10005', '+   0,00', '+    0,50', '+    0,00', '+   38,50', '+   20,00', '+    2,00', '+    0,00', '-    1,75', '+  160,00', '+    0,00', '+    5,00', '+    0,00', '+    1,00', '+    0,00', '+    0,00', '+    3,00', 'Resturlaub 20 Tage', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO O2002TSW (TswIdn, TswW01, TswW02, TswW03, TswW04, TswW05, TswW06, TswW07, TswW08, TswW09, TswW10, TswW11, TswW12, TswW13, TswW14, TswW15, TswW16, TswF01, TswF02, TswF03, TswF04, TswF05, TswF06, TswF07, TswF08, TswF09, TswF10) VALUES ('10006', '+   0,00', '+   21,00', '-    2,00', '+   38,50', '+    6,00', '+    2,00', '+    0,00', '-    1,75', '+   80,00', '+    0,00', '+    5,00', '+    0,00', '+    1,00', '+    0,00', '+    0,00', '+    3,00', 'Resturlaub 6 Tage', 'Teilzeit', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO O2002TSW (TswIdn, TswW01, TswW02, TswW03, TswW04, TswW05, TswW06, TswW07, TswW08, TswW09, TswW10, TswW11, TswW12, TswW13, TswW14, TswW15, TswW16, TswF01, TswF02, TswF03, TswF04, TswF05, TswF06, TswF07, TswF08, TswF09, TswF10) VALUES ('10007', '+   0,00', '+    1,75', '+    0,00', '+   38,50', '+   28,00', '+    2,00', '+    0,00', '-    1,75', '+  160,00', '+    0,00', '+    5,00', '+    0,00', '+    1,00', '+    0,00', '+    0,00', '+    3,00', 'Resturlaub 28 Tage', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO O2002TSW (TswIdn, TswW01, TswW02, TswW03, TswW04, TswW05, TswW06, TswW07, TswW08, TswW09, TswW10, TswW11, TswW12, TswW13, TswW14, TswW15, TswW16, TswF01, TswF02, TswF03, TswF04, TswF05, TswF06, TswF07, TswF08, TswF09, TswF10) VALUES ('10009', '+   0,00', '+    3,00', '+    0,00', '+   38,50', '+   15,00', '+    2,00', '+    0,00', '-    1,75', '+  160,00', '+    0,00', '+    5,00', '+    0,00', '+    1,00', '+    0,00', '+    0,00', '+    3,00', 'Resturlaub 15 Tage', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO O2002TSW (TswIdn, TswW01, TswW02, TswW03, TswW04, TswW05, TswW06, TswW07, TswW08, TswW09, TswW10, TswW11, TswW12, TswW13, TswW14, TswW15, TswW16, TswF01, TswF02, TswF03, TswF04, TswF05, TswF06, TswF07, TswF08, TswF09, TswF10) VALUES ('10013', '+   0,00', '-1234,567', '+    0,00', '+   38,50', '+    2,00', '+    2,00', '+    0,00', '-    1,75', '+  120,00', '+    0,00', '+    5,00', '+    0,00', '+    1,00', '+    0,00', '+    0,00', '+    3,00', 'Kontrolle Zeitkonto', 'Bitte melden', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO O2002TSW (TswIdn, TswW01, TswW02, TswW03, TswW04, TswW05, TswW06, TswW07, TswW08, TswW09, TswW10, TswW11, TswW12, TswW13, TswW14, TswW15, TswW16, TswF01, TswF02, TswF03, TswF04, TswF05, TswF06, TswF07, TswF08, TswF09, TswF10) VALUES ('10014', '+   0,00', '+    0,00', '+    0,00', '+   38,50', '+    0,00', '+    2,00', '+    0,00', '-    1,75', '+   40,00', '+    0,00', '+    5,00', '+    0,00', '+    1,00', '+    0,00', '+    0,00', '+    3,00', 'Aushilfe', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO O2002TSW (TswIdn, TswW01, TswW02, TswW03, TswW04, TswW05, TswW06, TswW07, TswW08, TswW09, TswW10, TswW11, TswW12, TswW13, TswW14, TswW15, TswW16, TswF01, TswF02, TswF03, TswF04, TswF05, TswF06, TswF07, TswF08, TswF09, TswF10) VALUES ('10016', '+   0,00', '+    9,00', '+    0,00', '+   38,50', '+   18,00', '+    2,00', '+    0,00', '-    1,75', '+  160,00', '+    0,00', '+    5,00', '+    0,00', '+    1,00', '+    0,00', '+    0,00', '+    3,00', 'Resturlaub 18 Tage', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO O2002TSW (TswIdn, TswW01, TswW02, TswW03, TswW04, TswW05, TswW06, TswW07, TswW08, TswW09, TswW10, TswW11, TswW12, TswW13, TswW14, TswW15, TswW16, TswF01, TswF02, TswF03, TswF04, TswF05, TswF06, TswF07, TswF08, TswF09, TswF10) VALUES ('10017', '+   0,00', '+   33,25', '-    0,50', '+   38,50', '+   25,00', '+    2,00', '+    0,00', '-    1,75', '+  160,00', '+    0,00', '+    5,00', '+    0,00', '+    1,00', '+    0,00', '+    0,00', '+    3,00', 'Resturlaub 25 Tage', 'Gleitzeit im Plus', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);

-- Display messages. MS01: terminal set of HAUPTEINGANG and KANTINE (licence 10,
-- client 1); MS02: set of WERKSTOR2, taken through MsdErf 'KALDOVA'; MSB1: badge set.
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MS01', 1, NULL, NULL, 1, 1, 1, 10, NULL, NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MS01', 2, NULL, NULL, 2, 2, 1, 10, NULL, NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MS01', 3, NULL, NULL, 3, 3, 1, 10, NULL, NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MS01', 4, NULL, NULL, 4, 4, 1, 10, NULL, 0);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MS01', 5, 2, 'Info', 5, 5, 1, 10, NULL, NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MS01', 6, 2, NULL, 6, 6, 1, 10, NULL, NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MS01', 7, NULL, NULL, 7, 7, 1, 10, NULL, NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MS01', 8, 1, NULL, 8, 8, 1, 10, NULL, NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MS01', 9, NULL, NULL, 9, 2, 1, 10, NULL, 4);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MS02', 1, NULL, NULL, 1, 1, 9, 99, 'KALDOVA', NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MS02', 2, NULL, NULL, 2, 2, 9, 99, 'KALDOVA', NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MS02', 3, NULL, NULL, 10, 5, 9, 99, 'KALDOVA', NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MS02', 5, 2, NULL, 6, 6, 9, 99, 'KALDOVA', NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MSB1', 1, NULL, NULL, 11, 1, NULL, NULL, NULL, NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MSB1', 2, NULL, NULL, 2, 2, NULL, NULL, NULL, NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MSB1', 3, NULL, 'Ihr Urlaub', 3, 3, NULL, NULL, NULL, NULL);
INSERT INTO Zdx119Msd (MsdSal, MsdLfd, MsdSpl, MsdTxt, MsdAnz, MsdWrt, MsdMnd, MsdLiz, MsdErf, MsdSta) VALUES ('MSB1', 4, NULL, NULL, 9, 9, NULL, NULL, NULL, NULL);

-- Text table: labels (220001) and value codes (220002), text variant 1.
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220001, 1, 1, 'Datum', NULL);
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220001, 2, 1, 'Gleitzeit', NULL);
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220001, 3, 1, 'Urlaub', NULL);
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220001, 4, 1, 'Ma&#241;ana frei', NULL);
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220001, 5, 1, 'Hinweis', NULL);
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220001, 6, 1, 'Ueberstunden', NULL);
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220001, 7, 1, 'Zeitkonto', NULL);
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220001, 8, 1, 'Sollstunden im Monat', NULL);
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220001, 9, 1, 'Mitteilung', NULL);
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220001, 10, 1, 'Resturlaub', NULL);
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220001, 11, 1, 'Willkommen', NULL);
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220002, 1, 1, 'Tagesdatum', '#W1');
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220002, 2, 1, 'Saldo Gleitzeit', '#W2');
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220002, 3, 1, 'Urlaubsanspruch', '#W5');
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220002, 4, 1, 'Saldo Monat', '#W9');
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220002, 5, 1, 'Saldotext 1', '#W21');
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220002, 6, 1, 'Ueberstunden', '#W3');
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220002, 7, 1, 'Zeitkonto', '#W4');
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220002, 8, 1, 'Sollstunden', '#W16');
INSERT INTO Zdx102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxT50, FtxT10) VALUES (220002, 9, 1, 'Saldotext 2', '#W22');

COMMIT;
