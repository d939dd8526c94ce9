Select
 pat.[First Name] FirstName,
 pat.[Middle Initial],
 pat.[Last Name] LastName,
 pat.[Date of Birth] DOB,
 Left(pat.[Sex], 1)  Gender,
 pat.[Social Security Number] SSN,
 pat.[Street 1] Address1, 
 pat.[Street 2] Address2,
 pat.[City] City,
 pat.[State] State,
 pat.[Zip Code] Zip,
 cas.[Marital Status],
 cas.[Employment Status],
 pat.[Chart Number] ChartNo,
 pat.[Signature on File],
 pat.[Phone 1] HomePhone,
 pat.[Phone 2] WorkPhone,
 pat.[Phone 3] CellPhone,
 pat.[Email],
 ins1.[Name] Insurance1Name,
 ins1.[Type] Insurance1Type,
 cas.[Group Number #1] GroupNumberPrimary,
 cas.[Policy Number #1] InsuredIDPrimary,
 cas.[Copayment Amount], 
 cas.[Accept Assignment #1] AcceptAssignment1,
 cas.[Insured Relationship #1] SUB1_Relationship,
 sub1.[Chart Number] SUB1_ChartNo,
 sub1.[First Name] SUB1_FirstName,
 sub1.[Middle Initial] SUB1_MI,
 sub1.[Last Name] SUB1_LastName,
 sub1.[Date of Birth] SUB1_DOB,
 sub1.[Sex] SUB1_Gender,
 sub1.[Street 1] SUB1_Address1,
 sub1.[Street 2] SUB1_Address2,
 sub1.[City] SUB1_City,
 sub1.[State] SUB1_State,
 sub1.[Zip Code] SUB1_Zip,
 sub1.[Phone 1] SUB1_HomePhone,
 pat.[Contact Name] EmergencyContact,
 pat.[Contact Phone 1] EmergencyContactPhone1,
 pat.[Contact Phone 2] EmergencyContactPhone2,

 ins2.[Name] Insurance2Name,
 ins2.[Type] Insurance2Type,
 cas.[Group Number #2] GroupNumberSecondary,
 cas.[Policy Number #2] InsuredIDSecondary,
 cas.[Accept Assignment #2] AcceptAssignment2,
 cas.[Insured Relationship #2] SUB2_Relationship,
 sub2.[Chart Number] SUB2_ChartNo,
 sub2.[First Name] SUB2_FirstName,
 sub2.[Middle Initial] SUB2_MI,
 sub2.[Last Name] SUB2_LastName,
 sub2.[Date of Birth] SUB2_DOB,
 sub2.[Sex] SUB2_Gender,
 sub2.[Street 1] SUB2_Address1,
 sub2.[Street 2] SUB2_Address2,
 sub2.[City] SUB2_City,
 sub2.[State] SUB2_State,
 sub2.[Zip Code] SUB2_Zip,
 sub2.[Phone 1] SUB2_HomePhone,

 ins3.[Name] Insurance3Name,
 ins3.[Type] InsuranceTypeTertiary,
 cas.[Group Number #3] GroupNumberTertiary,
 cas.[Policy Number #3] InsuredIDTertiary,
 cas.[Accept Assignment #3] AcceptAssignment3,
 cas.[Insured Relationship #3] SUB3_Relationship,
 sub3.[Chart Number] SUB3_ChartNo,
 sub3.[First Name] SUB3_FirstName,
 sub3.[Middle Initial] SUB3_MI,
 sub3.[Last Name] SUB3_LastName,
 sub3.[Date of Birth] SUB3_DOB,
 sub3.[Sex] SUB3_Gender,
 sub3.[Street 1] SUB3_Address1,
 sub3.[Street 2] SUB3_Address2,
 sub3.[City] SUB3_City,
 sub3.[State] SUB3_State,
 sub3.[Zip Code] SUB3_Zip,
 sub3.[Phone 1] SUB3_HomePhone,
 cas.[Last Visit Date]
 
From MWPAT pat, MWCAS cas
Left Outer Join MWPAT sub1 on  sub1.[Chart Number] = 
cas.[Insured #1]
Left Outer Join MWPAT sub2 on  sub2.[Chart Number] = 
cas.[Insured #2]
Left Outer Join MWPAT sub3 on  sub3.[Chart Number] = 
cas.[Insured #3]
Left Outer Join MWINS ins1 on cas.[Insurance Carrier #1] = 
ins1.[Code]
Left Outer Join MWINS ins2 on cas.[Insurance Carrier #2] = 
ins2.[Code]
Left Outer Join MWINS ins3 on cas.[Insurance Carrier #3] = 
ins3.[Code]
where
 cas.[Chart Number] = pat.[Chart Number]
 and cas.[Case Number] in
(Select
 Max([Case Number]) "Case Number"
From MWCAS
Group By [Chart Number])
Order By pat.[Last Name]
