-- A small installation for the demo: employees, cards, visits and tickets. The file is UTF-8 for
-- reading; scripts/demo converts it to Windows-1250 on its way to the server, as the installation
-- stores its texts. The access points are added by scripts/demo, which knows their addresses.

INSERT INTO employee (employeeid, lastname, firstname, personalidentificator, code, active) VALUES
 (1, 'Petrović', 'Marko', '0101980710012', 'E001', 'Y'),
 (2, 'Jovanović', 'Ana', '1203985715023', 'E002', 'Y'),
 (3, 'Nikolić', 'Stefan', '2307979710034', 'E003', 'Y'),
 (4, 'Đorđević', 'Šćepan', '0511972710045', 'E004', 'Y'),
 (5, 'Ilić', 'Jelena', '1708990715056', 'E005', 'Y'),
 (6, 'Marković', 'Nikola', '0902988710067', 'E006', 'Y'),
 (7, 'Pavlović', 'Milica', '3003991715078', 'E007', 'Y'),
 (8, 'Stojanović', 'Dušan', '1406983710089', 'E008', 'Y'),
 (9, 'Živković', 'Tijana', '2112987715090', 'E009', 'Y'),
 (10, 'Todorović', 'Miloš', '0704976710101', 'E010', 'Y'),
 (11, 'Kovačević', 'Ivana', '1909992715112', 'E011', 'Y'),
 (12, 'Savić', 'Đorđe', '2801981710123', 'E012', 'Y'),
 (13, 'Lazić', 'Katarina', '0310986715134', 'E013', 'Y'),
 (14, 'Ristić', 'Vuk', '1605978710145', 'E014', 'Y'),
 (15, 'Popović', 'Žaklina', '2207993715156', 'E015', 'Y'),
 (16, 'Milošević', 'Bojan', '1111984710167', 'E016', 'Y'),
 (17, 'Stanković', 'Maja', '0608989715178', 'E017', 'Y'),
 (18, 'Čolić', 'Nemanja', '2503977710189', 'E018', 'Y'),
 (19, 'Gajić', 'Sanja', '1310994715190', 'E019', 'Y'),
 (20, 'Mitrović', 'Aleksandar', '0412982710201', 'E020', 'Y'),
 (21, 'Vasić', 'Dragana', '1801988715212', 'E021', 'Y'),
 (22, 'Obradović', 'Lazar', '2909975710223', 'E022', 'Y'),
 (23, 'Simić', 'Ljiljana', '0206991715234', 'E023', 'Y'),
 (24, 'Tomić', 'Uroš', '1507986710245', 'E024', 'Y'),
 (25, 'Božić', 'Gordana', '2604980715256', 'E025', 'Y'),
 (26, 'Filipović', 'Predrag', '0811979710267', 'E026', 'Y'),
 (27, 'Cvetković', 'Nataša', '1912990715278', 'E027', 'Y'),
 (28, 'Kostić', 'Željko', '0103974710289', 'E028', 'Y'),
 (29, 'Ćirić', 'Mirjana', '2705985715290', 'E029', 'Y'),
 (30, 'Perić', 'Zoran', '1008973710301', 'E030', 'N');

-- Regular cards of a few employees: they hold a card of their own and are not offered a spare one.
INSERT INTO employeecard (employeecardid, employeeid, cardcode, name, active, comment) VALUES
 (1, 1, 1001001, 'R-001', 'Y', 'Radnik'),
 (2, 2, 1001002, 'R-002', 'Y', 'Radnik'),
 (3, 3, 1001003, 'R-003', 'Y', 'Radnik'),
 (4, 6, 1001006, 'R-006', 'Y', 'Radnik');

-- Eight spare cards, two of them lent (to Đorđević Šćepan and Ilić Jelena).
INSERT INTO employeecard (employeecardid, employeeid, cardcode, name, active, comment) VALUES
 (11, 4, 2000011, 'REZ-01', 'Y', 'REZERVNA'),
 (12, NULL, 2000012, 'REZ-02', 'Y', 'REZERVNA'),
 (13, 5, 2000013, 'REZ-03', 'Y', 'REZERVNA'),
 (14, NULL, 2000014, 'REZ-04', 'Y', 'REZERVNA'),
 (15, NULL, 2000015, 'REZ-05', 'Y', 'REZERVNA'),
 (16, NULL, 2000016, 'REZ-06', 'Y', 'REZERVNA'),
 (17, NULL, 2000017, 'REZ-07', 'Y', 'REZERVNA'),
 (18, NULL, 2000018, 'REZ-08', 'Y', 'REZERVNA');

-- Six guest cards, two of them in use.
INSERT INTO employeecard (employeecardid, employeeid, cardcode, name, active, comment) VALUES
 (21, NULL, 3000021, 'GOST-1', 'Y', 'GOST 1'),
 (22, NULL, 3000022, 'GOST-2', 'Y', 'GOST 2'),
 (23, NULL, 3000023, 'GOST-3', 'Y', 'GOST 3'),
 (24, NULL, 3000024, 'GOST-4', 'Y', 'GOST 4'),
 (25, NULL, 3000025, 'GOST-5', 'Y', 'GOST 5'),
 (26, NULL, 3000026, 'GOST-6', 'Y', 'GOST 6');

INSERT INTO timerguest (timerguestid, firstname, lastname, personalidentificator, regcode, startdatetime,
                        enddatetime, description, employeecardid) VALUES
 (1, 'Goran', 'Šušić', '1502970710011', '008812345', NOW() - INTERVAL 2 HOUR, NULL, 'Sastanak, nabavka', 21),
 (2, 'Vesna', 'Đukić', NULL, '009934567', NOW() - INTERVAL 40 MINUTE, NULL, 'Servis lifta', 23),
 (3, 'Ivan', 'Horvat', NULL, '007711111', NOW() - INTERVAL 1 DAY, NOW() - INTERVAL 20 HOUR, 'Isporuka', NULL);

-- Tickets of the cards that are out, one per all-access point (points 1 and 3; point 2 serves one
-- door only), and of guest card GOST-2, whose last visit has ended.
INSERT INTO timeraccessticket (timeraccesspointid, employeecardid, employeeid, timerguestid, active) VALUES
 (1, 11, 4, NULL, 'Y'), (3, 11, 4, NULL, 'Y'),
 (1, 13, 5, NULL, 'Y'), (3, 13, 5, NULL, 'Y'),
 (1, 21, NULL, 1, 'Y'), (3, 21, NULL, 1, 'Y'),
 (1, 22, NULL, 3, 'Y'), (3, 22, NULL, 3, 'Y'),
 (1, 23, NULL, 2, 'Y'), (3, 23, NULL, 2, 'Y');
