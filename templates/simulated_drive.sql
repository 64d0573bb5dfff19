-- Drive database of the simulated drive (drivesim); built into "<firmware version>.mdb".
--
-- What the simulated drive reports must agree with these rows:
--   firmware version text  "SIM01.00" (8 characters, QUILLON_SIM_SOFT_VERSION)
--   traced signal addresses (32-bit request set, "&H" + 8 digits):
--     &H00010000 SPD_REF   (D, %, SPEED)      &H00010004 SPD_FBK   (D, %, SPEED)
--     &H00010008 TRQ_REF   (F, %, TORQUE)     &H0001000C I_OUT     (F, %, CURRENT)
--     &H00010010 V_DC      (W, %, VOLTAGE; low word)
--     &H00010012 V_DC_AVG  (W, %, VOLTAGE; high word of the same 32-bit sample)
--     &H00010014 FREQ_OUT  (D, %, FREQ)       &H00010018 SSEQ_OUT1 (W, H)
--     &H0001001C TEMP_HS   (B, %, TEMP; byte 0) &H0001001D TEMP_CPU (B, %, TEMP; byte 1)
--     &H00010020 RUN_TIME  (D, D)
--     &H0001FFF0 is unknown here on purpose (written under its address).
--   traced signal addresses (16-bit request set, "&H" + 4 digits):
--     &H1000 SPD_REF16, &H1002 TRQ_REF16, &H1004 V_DC16, &H1006 SSEQ16 (all W);
--     &H1FF0 is unknown here on purpose.
--   fault codes (decimal): 1 OC, 3 OV, 12 OH, 17 UV, 30 EF, 99 (no bit row: "No Data"),
--     any other code 0-399 "E" + code, -1 = no fault ("No Detect"), others "No Data".
--   status words (MainBIT groups): FLT_WORD1, FLT_WORD2, SSEQ_OUT1, SSEQ_OUT3,
--     DI_DATA1, DI_DATA5, DI_DATA6.

CREATE TABLE MAIN (
  ID INTEGER PRIMARY KEY,
  symbol TEXT(64),
  address TEXT(8),
  "Type" TEXT(20),
  DisplayUnit TEXT(2),
  LongNameJP TEXT(100),
  LongNameUS TEXT(100),
  AccessUnit TEXT(2),
  ArrayLength TEXT(8)
);
INSERT INTO MAIN (symbol, address, "Type", DisplayUnit, LongNameJP, LongNameUS, AccessUnit, ArrayLength) VALUES
  ('SPD_REF',   '00010000', 'SPEED',   '%', '速度指令',       'Speed reference',      'D', NULL),
  ('SPD_FBK',   '00010004', 'SPEED',   '%', '速度帰還',       'Speed feedback',       'D', NULL),
  ('TRQ_REF',   '00010008', 'TORQUE',  '%', 'トルク指令',     'Torque reference',     'F', NULL),
  ('I_OUT',     '0001000C', 'CURRENT', '%', '出力電流',       'Output current',       'F', NULL),
  ('V_DC',      '00010010', 'VOLTAGE', '%', '直流電圧',       'DC link voltage',      'W', NULL),
  ('V_DC_AVG',  '00010012', 'VOLTAGE', '%', '直流電圧平均',   'DC link voltage mean', 'W', NULL),
  ('FREQ_OUT',  '00010014', 'FREQ',    '%', '出力周波数',     'Output frequency',     'D', NULL),
  ('SSEQ_OUT1', '00010018', NULL,      'H', 'シーケンス出力1', 'Sequence output 1',   'W', NULL),
  ('TEMP_HS',   '0001001C', 'TEMP',    '%', 'フィン温度',     'Heat sink temperature', 'B', NULL),
  ('TEMP_CPU',  '0001001D', 'TEMP',    '%', '制御部温度',     'Control temperature',  'B', NULL),
  ('RUN_TIME',  '00010020', NULL,      NULL, '運転時間',      'Running time',         NULL, NULL),
  ('SPD_REF16', '1000',     'SPEED',   '%', '速度指令',       'Speed reference',      'W', NULL),
  ('TRQ_REF16', '1002',     'TORQUE',  '%', 'トルク指令',     'Torque reference',     'W', NULL),
  ('V_DC16',    '1004',     'VOLTAGE', '%', '直流電圧',       'DC link voltage',      'W', NULL),
  ('SSEQ16',    '1006',     NULL,      'H', 'シーケンス出力', 'Sequence output',      'W', NULL),
  ('EVENT01',   '00020000', 'COUNT',   'D', '運転回数',       'Run count',            'D', NULL),
  ('EVENT02',   '00020004', 'HOURS',   '%', '通電時間',       'Power-on time',        'F', NULL);

-- The first setting parameters of the 32-bit drives, at the fixed values the simulated drive
-- keeps there (drivesim/record_images.cpp); every other word of the area has no row.
INSERT INTO MAIN (symbol, address, "Type", DisplayUnit, LongNameJP, LongNameUS, AccessUnit, ArrayLength) VALUES
  ('ACC_TIME1',   '24059000', NULL,     'D', '加速時間1',     'Acceleration time 1', 'W', NULL),
  ('DEC_TIME1',   '24059004', NULL,     'D', '減速時間1',     'Deceleration time 1', 'W', NULL),
  ('MOTOR_POLES', '24059008', NULL,     NULL, 'モータ極数',   'Motor poles',         NULL, NULL),
  ('SPD_LIMIT',   '2405900C', 'SPEED',  '%', '速度制限',      'Speed limit',         'D', NULL),
  ('LINE_NAME',   '24059010', NULL,     'C', 'ライン名',      'Line name',           'W', '8'),
  ('TRQ_LIMIT',   '24059018', 'TORQUE', '%', 'トルク制限',    'Torque limit',        'F', NULL),
  ('FAN_MODE',    '2405901C', NULL,     'H', 'ファン運転',    'Fan mode',            'W', NULL),
  ('OUT_SEL_A',   '2405901E', NULL,     'D', '出力選択A',     'Output select A',     'B', NULL),
  ('OUT_SEL_B',   '2405901F', NULL,     'D', '出力選択B',     'Output select B',     'B', NULL),
  ('TOOL_IP',     '24059020', NULL,     'H', 'ツールIP',      'Tool IP address',     'D', NULL),
  ('MON_SEL',     '24059024', NULL,     '&', 'モニタ選択',    'Monitor select',      'D', NULL),
  ('INF_M_TYPE',  '24059028', NULL,     'C', '機種',          'Drive model',         'W', '8'),
  ('INF_SOFTVER', '24059030', NULL,     'C', 'ソフト版数',    'Firmware version',    'W', '8'),
  ('INF_PANEL',   '24059038', NULL,     'C', '盤名',          'Panel name',          'W', '20'),
  ('INF_JOBNO',   '2405904C', NULL,     'C', '工番',          'Job number',          'W', '8'),
  ('INF_JOBNO1',  '24059054', NULL,     'C', '工番1',         'Job number 1',        'W', '8'),
  ('INF_JOBNO2',  '2405905C', NULL,     'C', '工番2',         'Job number 2',        'W', '8'),
  ('INF_TITLE',   '24059064', NULL,     'C', '表題',          'Title',               'W', '16'),
  ('INF_MEMO',    '24059074', NULL,     'C', 'メモ',          'Memo',                'W', '8'),
  ('INF_TAG',     '2405907C', NULL,     'C', 'タグ',          'Tag',                 'W', '8'),
  ('INF_DBREV',   '24059084', NULL,     'C', 'DB版数',        'Database revision',   'W', '4'),
  ('INF_SERIAL',  '24059088', NULL,     'C', '製造番号',      'Serial number',       'W', '8'),
  ('STOP_MODE',   '24059090', NULL,     'S', '停止方法',      'Stop mode',           'W', NULL);

-- The first setting parameters of the 16-bit drives (their area starts at 0x0000).
INSERT INTO MAIN (symbol, address, "Type", DisplayUnit, LongNameJP, LongNameUS, AccessUnit, ArrayLength) VALUES
  ('P16_MODE',    '0004',     NULL,     'D', '運転モード',    'Operation mode',      'W', NULL),
  ('P16_LINK',    '0006',     NULL,     '&', 'リンク先',      'Linked item',         'D', NULL),
  ('P16_GAIN',    '000A',     'SPEED',  '%', 'ゲイン',        'Gain',                'W', NULL);

CREATE TABLE "MAIN%Display" (
  ID INTEGER PRIMARY KEY,
  "Type" TEXT(20),
  "100%Value" TEXT(20),
  DiaplayChar TEXT(20),
  Decimalpoint TEXT(4)
);
INSERT INTO "MAIN%Display" ("Type", "100%Value", DiaplayChar, Decimalpoint) VALUES
  ('SPEED',   '16384', 'min-1', '1'),
  ('TORQUE',  '100',   '%',     '1'),
  ('CURRENT', '100',   'A',     '2'),
  ('VOLTAGE', '4096',  'V',     '1'),
  ('FREQ',    '16384', 'Hz',    '2'),
  ('TEMP',    '100',   'degC',  '0'),
  ('COUNT',   '100',   NULL,    '0'),
  ('HOURS',   '100',   'h',     '1');

CREATE TABLE FI (
  ID INTEGER PRIMARY KEY,
  FI_CODE TEXT(8),
  BitGroup TEXT(20),
  Bit TEXT(4)
);
INSERT INTO FI (FI_CODE, BitGroup, Bit) VALUES
  ('1',  'FLT_WORD1', '0'),
  ('3',  'FLT_WORD1', '3'),
  ('12', 'FLT_WORD1', '12'),
  ('17', 'FLT_WORD2', '5'),
  ('30', 'FLT_WORD2', '14'),
  ('99', 'NO_SUCH_WORD', '1');

CREATE TABLE MainBIT (
  ID INTEGER PRIMARY KEY,
  BitGroup TEXT(20),
  "00BitSymbol" TEXT(40), "00BitLongNameJP" TEXT(100), "00BitLongNameUS" TEXT(100),
  "01BitSymbol" TEXT(40), "01BitLongNameJP" TEXT(100), "01BitLongNameUS" TEXT(100),
  "02BitSymbol" TEXT(40), "02BitLongNameJP" TEXT(100), "02BitLongNameUS" TEXT(100),
  "03BitSymbol" TEXT(40), "03BitLongNameJP" TEXT(100), "03BitLongNameUS" TEXT(100),
  "04BitSymbol" TEXT(40), "04BitLongNameJP" TEXT(100), "04BitLongNameUS" TEXT(100),
  "05BitSymbol" TEXT(40), "05BitLongNameJP" TEXT(100), "05BitLongNameUS" TEXT(100),
  "06BitSymbol" TEXT(40), "06BitLongNameJP" TEXT(100), "06BitLongNameUS" TEXT(100),
  "07BitSymbol" TEXT(40), "07BitLongNameJP" TEXT(100), "07BitLongNameUS" TEXT(100),
  "08BitSymbol" TEXT(40), "08BitLongNameJP" TEXT(100), "08BitLongNameUS" TEXT(100),
  "09BitSymbol" TEXT(40), "09BitLongNameJP" TEXT(100), "09BitLongNameUS" TEXT(100),
  "10BitSymbol" TEXT(40), "10BitLongNameJP" TEXT(100), "10BitLongNameUS" TEXT(100),
  "11BitSymbol" TEXT(40), "11BitLongNameJP" TEXT(100), "11BitLongNameUS" TEXT(100),
  "12BitSymbol" TEXT(40), "12BitLongNameJP" TEXT(100), "12BitLongNameUS" TEXT(100),
  "13BitSymbol" TEXT(40), "13BitLongNameJP" TEXT(100), "13BitLongNameUS" TEXT(100),
  "14BitSymbol" TEXT(40), "14BitLongNameJP" TEXT(100), "14BitLongNameUS" TEXT(100),
  "15BitSymbol" TEXT(40), "15BitLongNameJP" TEXT(100), "15BitLongNameUS" TEXT(100)
);
INSERT INTO MainBIT (BitGroup, "00BitSymbol", "00BitLongNameJP", "00BitLongNameUS",
                     "03BitSymbol", "03BitLongNameJP", "03BitLongNameUS",
                     "12BitSymbol", "12BitLongNameJP", "12BitLongNameUS") VALUES
  ('FLT_WORD1', 'OC ', '過電流', 'Overcurrent', 'OV', '過電圧', 'Overvoltage', 'OH', 'フィン過熱', 'Heat sink overheat');
INSERT INTO MainBIT (BitGroup, "05BitSymbol", "05BitLongNameJP", "05BitLongNameUS",
                     "14BitSymbol", "14BitLongNameJP", "14BitLongNameUS") VALUES
  ('FLT_WORD2', 'UV', '不足電圧', 'Undervoltage', 'EF', '地絡', 'Earth fault');
INSERT INTO MainBIT (BitGroup, "00BitSymbol", "01BitSymbol", "02BitSymbol", "03BitSymbol", "15BitSymbol") VALUES
  ('SSEQ_OUT1', 'RUN', 'FWD', 'REV', 'FLT', 'RDY.OK'),
  ('SSEQ_OUT3', 'ALM', 'WRN', NULL, NULL, NULL),
  ('DI_DATA1',  'DI1', 'DI2', 'DI3', 'DI4', 'DI16'),
  ('DI_DATA5',  'X1', 'X2', NULL, NULL, NULL),
  ('DI_DATA6',  'Y1', NULL, NULL, NULL, NULL);

-- Every other code from 0 to 399 (the range the simulated drive reports) names a fault too:
-- code c is bit c mod 16 of word "FLT_" + c div 16, named "E" + c. Rows above come first.
INSERT INTO FI (FI_CODE, BitGroup, Bit)
  WITH RECURSIVE code(c) AS (SELECT 0 UNION ALL SELECT c + 1 FROM code WHERE c < 399)
  SELECT c, 'FLT_' || (c / 16), c % 16 FROM code;
INSERT INTO MainBIT (BitGroup, "00BitSymbol", "00BitLongNameJP", "00BitLongNameUS", "01BitSymbol", "01BitLongNameJP", "01BitLongNameUS", "02BitSymbol", "02BitLongNameJP", "02BitLongNameUS", "03BitSymbol", "03BitLongNameJP", "03BitLongNameUS", "04BitSymbol", "04BitLongNameJP", "04BitLongNameUS", "05BitSymbol", "05BitLongNameJP", "05BitLongNameUS", "06BitSymbol", "06BitLongNameJP", "06BitLongNameUS", "07BitSymbol", "07BitLongNameJP", "07BitLongNameUS", "08BitSymbol", "08BitLongNameJP", "08BitLongNameUS", "09BitSymbol", "09BitLongNameJP", "09BitLongNameUS", "10BitSymbol", "10BitLongNameJP", "10BitLongNameUS", "11BitSymbol", "11BitLongNameJP", "11BitLongNameUS", "12BitSymbol", "12BitLongNameJP", "12BitLongNameUS", "13BitSymbol", "13BitLongNameJP", "13BitLongNameUS", "14BitSymbol", "14BitLongNameJP", "14BitLongNameUS", "15BitSymbol", "15BitLongNameJP", "15BitLongNameUS")
  WITH RECURSIVE word(g) AS (SELECT 0 UNION ALL SELECT g + 1 FROM word WHERE g < 24)
  SELECT 'FLT_' || g,
    'E' || (g * 16 + 0), '異常 ' || (g * 16 + 0), 'Fault ' || (g * 16 + 0),
    'E' || (g * 16 + 1), '異常 ' || (g * 16 + 1), 'Fault ' || (g * 16 + 1),
    'E' || (g * 16 + 2), '異常 ' || (g * 16 + 2), 'Fault ' || (g * 16 + 2),
    'E' || (g * 16 + 3), '異常 ' || (g * 16 + 3), 'Fault ' || (g * 16 + 3),
    'E' || (g * 16 + 4), '異常 ' || (g * 16 + 4), 'Fault ' || (g * 16 + 4),
    'E' || (g * 16 + 5), '異常 ' || (g * 16 + 5), 'Fault ' || (g * 16 + 5),
    'E' || (g * 16 + 6), '異常 ' || (g * 16 + 6), 'Fault ' || (g * 16 + 6),
    'E' || (g * 16 + 7), '異常 ' || (g * 16 + 7), 'Fault ' || (g * 16 + 7),
    'E' || (g * 16 + 8), '異常 ' || (g * 16 + 8), 'Fault ' || (g * 16 + 8),
    'E' || (g * 16 + 9), '異常 ' || (g * 16 + 9), 'Fault ' || (g * 16 + 9),
    'E' || (g * 16 + 10), '異常 ' || (g * 16 + 10), 'Fault ' || (g * 16 + 10),
    'E' || (g * 16 + 11), '異常 ' || (g * 16 + 11), 'Fault ' || (g * 16 + 11),
    'E' || (g * 16 + 12), '異常 ' || (g * 16 + 12), 'Fault ' || (g * 16 + 12),
    'E' || (g * 16 + 13), '異常 ' || (g * 16 + 13), 'Fault ' || (g * 16 + 13),
    'E' || (g * 16 + 14), '異常 ' || (g * 16 + 14), 'Fault ' || (g * 16 + 14),
    'E' || (g * 16 + 15), '異常 ' || (g * 16 + 15), 'Fault ' || (g * 16 + 15)
  FROM word;

CREATE TABLE Events (
  ID INTEGER PRIMARY KEY,
  TitleJP TEXT(100),
  TitleUS TEXT(100),
  FormulaType1 TEXT(2),
  Symbol1 TEXT(20),
  FormulaType2 TEXT(2),
  Symbol2 TEXT(20),
  FormulaType3 TEXT(2),
  Symbol3 TEXT(20),
  Decimalpoint TEXT(4)
);
INSERT INTO Events (TitleJP, TitleUS, FormulaType1, Symbol1, FormulaType2, Symbol2, FormulaType3, Symbol3, Decimalpoint) VALUES
  ('運転回数', 'Run count', NULL, NULL, NULL, NULL, NULL, NULL, '0'),
  ('通電時間', 'Power-on time', '/', '60', '*', '1', NULL, NULL, '1'),
  ('故障回数', 'Fault count', '-', '0', NULL, NULL, NULL, NULL, '0');
-- Counters 4 to 16: counted in tenths, shown with one decimal.
INSERT INTO Events (TitleJP, TitleUS, FormulaType1, Symbol1, FormulaType2, Symbol2, FormulaType3, Symbol3, Decimalpoint)
  WITH RECURSIVE n(i) AS (SELECT 4 UNION ALL SELECT i + 1 FROM n WHERE i < 16)
  SELECT 'イベント' || i, 'Event ' || i, '*', '0.1', NULL, NULL, NULL, NULL, '1' FROM n;
