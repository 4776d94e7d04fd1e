-- The bench rows: database `bench` with myisam_1m and innodb_1m (the same 1,000,000
-- rows, MyISAM DYNAMIC and InnoDB DYNAMIC) and their first 100,000 rows in myisam_100k
-- and innodb_100k. Every value is a function of the row number, so each run writes the
-- same rows. Lengths of name vary 1..40; amount, ratio, note and qty hold NULLs at
-- different strides. Read by make-bench-data.sh and server-export.sh.
CREATE DATABASE bench;
USE bench;
CREATE TABLE myisam_1m (
  id      INT NOT NULL,
  big     BIGINT NOT NULL,
  name    VARCHAR(40) NOT NULL,
  amount  DECIMAL(10,2) NULL,
  created DATETIME NOT NULL,
  ratio   DOUBLE NULL,
  note    TEXT NULL,
  code    CHAR(10) NOT NULL,
  status  ENUM('new','paid','shipped','returned','cancelled') NOT NULL,
  qty     INT NULL,
  PRIMARY KEY (id)
) ENGINE=MyISAM ROW_FORMAT=DYNAMIC;
ALTER TABLE myisam_1m DISABLE KEYS;
INSERT INTO myisam_1m
SELECT n,
       n * 1000003 - 500000000000,
       LEFT(REPEAT(CONCAT('name', n, '-'), 6), 1 + n % 40),
       IF(n % 7 = 0, NULL, (n % 1000000) / 100 - 2500),
       TIMESTAMPADD(SECOND, n * 37, '2020-01-01 00:00:00'),
       IF(n % 11 = 0, NULL, n / 7e0),
       IF(n % 5 = 0, NULL, CONCAT('note ', n % 997)),
       CONCAT('C', LPAD(n % 100000, 6, '0')),
       ELT(1 + n % 5, 'new', 'paid', 'shipped', 'returned', 'cancelled'),
       IF(n % 13 = 0, NULL, n % 500)
  FROM (SELECT CAST(seq AS SIGNED) AS n FROM seq_1_to_1000000) s;
ALTER TABLE myisam_1m ENABLE KEYS;

CREATE TABLE innodb_1m LIKE myisam_1m;
ALTER TABLE innodb_1m ENGINE=InnoDB ROW_FORMAT=DYNAMIC;
INSERT INTO innodb_1m SELECT * FROM myisam_1m ORDER BY id;

CREATE TABLE myisam_100k LIKE myisam_1m;
INSERT INTO myisam_100k SELECT * FROM myisam_1m WHERE id <= 100000 ORDER BY id;
CREATE TABLE innodb_100k LIKE innodb_1m;
INSERT INTO innodb_100k SELECT * FROM innodb_1m WHERE id <= 100000 ORDER BY id;
