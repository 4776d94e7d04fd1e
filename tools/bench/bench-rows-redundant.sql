-- The same rows in ROW_FORMAT=REDUNDANT, after bench-rows.sql (the table reader's
-- traversal only; the server export does not need them).
USE bench;
CREATE TABLE redundant_1m LIKE myisam_1m;
ALTER TABLE redundant_1m ENGINE=InnoDB ROW_FORMAT=REDUNDANT;
INSERT INTO redundant_1m SELECT * FROM myisam_1m ORDER BY id;
CREATE TABLE redundant_100k LIKE redundant_1m;
INSERT INTO redundant_100k SELECT * FROM redundant_1m WHERE id <= 100000 ORDER BY id;
