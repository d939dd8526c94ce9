Select Distinct
 pat."Chart Number",
 "Last Name",
 "First Name",
 "Street 1",
 "Street 2",
 "City",
 "State",
 "Zip Code",
 "Phone 1" Home,
 "Date of Birth"
From MWPAT pat, MWTRN trn
Where pat."Chart Number" = trn."Chart Number"
 and trn."Transaction Type" = 'A'
 and trn."Date From" = CurDate()
