-- Template of the trace-back workbook: one copy per recorded bank.
-- Column types are written as Access names them (Short, Long, Single, Double, TEXT(n)).

-- Identification of the bank; the writer fills "Memo" of the first six rows in this order.
CREATE TABLE Memo (
  ID INTEGER PRIMARY KEY,
  Title TEXT(50),
  Memo TEXT(255)
);
INSERT INTO Memo (ID, Title, Memo) VALUES
  (1, 'DriveType', NULL),
  (2, 'SoftVer', NULL),
  (3, 'PanelName', NULL),
  (4, 'Custmer', NULL),
  (5, 'Templete＃', NULL),
  (6, 'FileFor', NULL);

-- One row per traced signal, in signal order.
CREATE TABLE Word (
  ID INTEGER PRIMARY KEY,
  address TEXT(12),
  symbol TEXT(64),
  DisplayChar TEXT(20),
  PCTValue Double,
  LongName TEXT(255),
  "Max" Double,
  "Min" Double
);

-- One row per sample; the writer adds Data1, Data2 ... (Single) after ID, one per signal.
CREATE TABLE Data (
  ID INTEGER PRIMARY KEY
);

CREATE TABLE Title (
  ID INTEGER PRIMARY KEY,
  OrderNumber TEXT(64),
  DetectTime TEXT(32),
  MAX_SAMPLE TEXT(8),
  Inv_Rating TEXT(128),
  Motor_Rating TEXT(160),
  HelpFileJP TEXT(255),
  HelpFileUS TEXT(255)
);
INSERT INTO Title (ID) VALUES (1);

-- The three sample groups.
CREATE TABLE SampleParameters (
  ID INTEGER PRIMARY KEY,
  Block_Max Short,
  Channel_Max Byte,
  Fault_idx Short,
  SAMPLING Long
);
INSERT INTO SampleParameters (ID) VALUES (1), (2), (3);

-- The thirty fault indications of the bank.
CREATE TABLE FI (
  ID INTEGER PRIMARY KEY,
  FINmae TEXT(64),
  FIExp TEXT(255),
  FiCode TEXT(16),
  FiDetectedSample Long,
  HelpPageJP Long,
  HelpPageUS Long
);
INSERT INTO FI (ID) VALUES
  (1), (2), (3), (4), (5), (6), (7), (8), (9), (10),
  (11), (12), (13), (14), (15), (16), (17), (18), (19), (20),
  (21), (22), (23), (24), (25), (26), (27), (28), (29), (30);
