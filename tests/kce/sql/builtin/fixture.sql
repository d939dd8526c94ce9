-- Tables and rows of a small practice for the built-in statements. Statements are separated by
-- lines holding only ";".
CREATE TABLE MWPAT (
  "Chart Number" CHAR(8) NOT NULL, "Last Name" CHAR(20), "First Name" CHAR(15),
  "Middle Name" CHAR(15), "Middle Initial" CHAR(1), "Street 1" CHAR(30), "Street 2" CHAR(30),
  "City" CHAR(20), "State" CHAR(2), "Zip Code" CHAR(10), "Phone 1" CHAR(14), "Phone 2" CHAR(14),
  "Phone 3" CHAR(14), "Email" VARCHAR(60), "Date of Birth" DATE, "Date Created" DATE,
  "Sex" CHAR(6), "Social Security Number" CHAR(11), "Signature on File" LOGICAL,
  "Contact Name" CHAR(30), "Contact Phone 1" CHAR(14), "Contact Phone 2" CHAR(14))
;
CREATE TABLE MWCAS (
  "Case Number" INTEGER NOT NULL, "Chart Number" CHAR(8), "Guarantor" CHAR(8),
  "Marital Status" CHAR(10), "Employment Status" CHAR(10), "Copayment Amount" MONEY,
  "Last Visit Date" DATE,
  "Insured #1" CHAR(8), "Insurance Carrier #1" CHAR(5), "Policy Number #1" CHAR(20),
  "Group Number #1" CHAR(20), "Accept Assignment #1" LOGICAL, "Insured Relationship #1" CHAR(10),
  "Insured #2" CHAR(8), "Insurance Carrier #2" CHAR(5), "Policy Number #2" CHAR(20),
  "Group Number #2" CHAR(20), "Accept Assignment #2" LOGICAL, "Insured Relationship #2" CHAR(10),
  "Insured #3" CHAR(8), "Insurance Carrier #3" CHAR(5), "Policy Number #3" CHAR(20),
  "Group Number #3" CHAR(20), "Accept Assignment #3" LOGICAL, "Insured Relationship #3" CHAR(10),
  "Treatment_Authorization_63a" CHAR(15), "Treatment_Authorization_63b" CHAR(15),
  "Treatment_Authorization_63c" CHAR(15))
;
CREATE TABLE MWINS (
  "Code" CHAR(5) NOT NULL, "Name" CHAR(30), "Street 1" CHAR(30), "Street 2" CHAR(30),
  "City" CHAR(20), "State" CHAR(2), "Zip Code" CHAR(10), "Type" CHAR(20))
;
CREATE TABLE MWTRN (
  "Entry Number" AUTOINC, "Chart Number" CHAR(8), "Case Number" INTEGER, "Date From" DATE,
  "Transaction Type" CHAR(1), "Procedure Code" CHAR(10), "Amount" MONEY)
;
CREATE TABLE mwdia (
  "Code 1" CHAR(8), "Code 2" CHAR(8), "Code 3" CHAR(8), "Code 1 Description" CHAR(40),
  "Code 2 Description" CHAR(40), "Code 3 Description" CHAR(40))
;
INSERT INTO MWPAT ("Chart Number", "Last Name", "First Name", "Middle Name", "Middle Initial",
  "Street 1", "Street 2", "City", "State", "Zip Code", "Phone 1", "Email", "Date of Birth",
  "Date Created", "Sex", "Social Security Number", "Signature on File")
VALUES
  ('SMIJO000', 'Smith', 'John', 'Quincy', 'Q', '12 Oak St', NULL, 'Springfield', 'IL', '62701',
   '(217)555-0101', 'js@example.com', '03/15/1960', '05/01/1999', 'Male', '123-45-6789', TRUE),
  ('DOEJA000', 'Doe', 'Jane', NULL, NULL, '5 Elm Ave', '', 'Shelbyville', 'IL', '62565',
   '(217)555-0102', NULL, '1985-07-04', '12/31/1979', 'Female', NULL, FALSE),
  ('SMIMA000', 'Smith', 'Mary', 'Ann', 'A', '12 Oak St', 'Apt 4', 'Springfield', 'IL', '62701',
   NULL, 'ms@example.com', '11/02/1962', '01/01/2005', 'Female', NULL, TRUE)
;
INSERT INTO MWINS VALUES
  ('BC01', 'Blue Care Mutual', '1 Insurance Plaza', NULL, 'Chicago', 'IL', '60601', 'Group'),
  ('AH02', 'Acme Health', '900 Market St', 'Suite 5', 'Peoria', 'IL', '61602', 'HMO')
;
INSERT INTO MWCAS ("Case Number", "Chart Number", "Guarantor", "Marital Status", "Copayment Amount",
  "Last Visit Date", "Insured #1", "Insurance Carrier #1", "Policy Number #1", "Group Number #1",
  "Accept Assignment #1", "Insured Relationship #1", "Insured #2", "Insurance Carrier #2",
  "Policy Number #2", "Treatment_Authorization_63a")
VALUES
  (1, 'SMIJO000', 'SMIJO000', 'Married', 20, '01/10/2008', 'SMIMA000', 'BC01', 'P-100', 'G-7',
   TRUE, 'Spouse', NULL, NULL, NULL, NULL),
  (2, 'SMIJO000', 'SMIMA000', 'Married', 25.5, '02/01/2009', 'SMIMA000', 'AH02', 'AH-555', 'G-8',
   TRUE, 'Spouse', 'SMIJO000', 'BC01', 'P-101', 'AUTH-1'),
  (3, 'DOEJA000', 'DOEJA000', 'Single', NULL, '08/01/2010', 'DOEJA000', 'BC01', 'P-200', NULL,
   FALSE, 'Self', NULL, NULL, NULL, NULL)
;
INSERT INTO MWTRN ("Chart Number", "Case Number", "Date From", "Transaction Type", "Procedure Code", "Amount")
VALUES
  ('SMIJO000', 1, '12/31/2007', 'A', '99213', 75),
  ('SMIJO000', 2, '02/01/2009', 'A', '99214', 110.25),
  ('DOEJA000', 3, '06/30/2010', 'A', '99203', 95),
  ('DOEJA000', 3, '07/01/2010', 'P', NULL, -95),
  ('DOEJA000', 3, '08/01/2010', 'A', '99213', 75)
;
INSERT INTO MWTRN ("Chart Number", "Case Number", "Date From", "Transaction Type", "Amount")
VALUES ('DOEJA000', 3, CURDATE(), 'A', 40), ('DOEJA000', 3, CURDATE(), 'A', 15)
;
INSERT INTO mwdia VALUES
  ('A00', 'A01', 'A01', 'first', 'second', NULL),
  ('B00', 'B02', 'B02', 'first', 'second', 'third'),
  ('C00', 'C03', 'D04', 'first', 'second', NULL)
