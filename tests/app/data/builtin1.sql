Select Distinct
 cas."Guarantor",
 Trim("First Name") +' '+ Trim( "Last Name") Name,
 "Street 1",
 "Street 2",
 Upper( Trim("City") +', '+ Trim("State") +' '+ Trim("Zip Code")) CityLine
From MWTRN trn, MWCAS cas, MWPAT pat
Where
 cas."Case Number" = trn."Case Number"
 and pat."Chart Number" = cas."Guarantor"
 and trn."Transaction Type" = 'A'
 and trn."Date From" >= '01/01/2008'
Order By "Last Name"
