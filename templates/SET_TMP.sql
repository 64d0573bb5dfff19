-- Template of the setting-parameter workbook: one copy per save run.
-- Column types are written as Access names them (Short, Long, Single, Double, TEXT(n)).
-- The conversion adds the tables "DriveSts", "Eventlog" and (with "/l") "OtherTRB" itself.

-- Identification of the drive; each row is found by its "Title".
CREATE TABLE Memo (
  ID INTEGER PRIMARY KEY,
  Title TEXT(50),
  Memo TEXT(255)
);
INSERT INTO Memo (ID, Title, Memo) VALUES
  (1, 'Custmer', NULL),
  (2, 'PanelName', NULL),
  (3, 'SoftVer', NULL),
  (4, 'DriveType', NULL),
  (5, 'Templete＃', NULL),
  (6, 'FileFor', NULL);

-- One row per set parameter, in address order; "ID" numbers the rows as written.
CREATE TABLE DataSet (
  ID Long,
  symbol TEXT(64),
  Data TEXT(64),
  Unit TEXT(64)
);

-- One row per character-type parameter.
CREATE TABLE CharSet (
  ID INTEGER PRIMARY KEY,
  symbol TEXT(64),
  CharData TEXT(255)
);

-- The drive's trouble records: one row for each of the 32 the drive keeps.
CREATE TABLE TroubleRecord (
  ID INTEGER PRIMARY KEY,
  TimeS TEXT(30),
  FI1 TEXT(30),
  Fi2 TEXT(30),
  Fi1_Data TEXT(64),
  Fi2_Data TEXT(64)
);
INSERT INTO TroubleRecord (ID)
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 32)
  SELECT i FROM n;

-- The drive's event counters: one row for each of the 16 the drive keeps.
CREATE TABLE EventCount (
  ID INTEGER PRIMARY KEY,
  TimeS TEXT(30),
  Event TEXT(30),
  TitleJP TEXT(100),
  TitleUS TEXT(100),
  Event_Data Double,
  Unit TEXT(20)
);
INSERT INTO EventCount (ID)
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 16)
  SELECT i FROM n;
