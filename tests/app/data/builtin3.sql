Select 
 Trim("First Name") + ' ' + Trim("Last Name") Name,
 "Street 1",
 "Street 2",
 Trim("City") + ' ' + Trim("State") + ' ' + Trim("Zip Code") CityLine,
 "Phone 1",
 "Email"
From MWPAT
Where
 "Date Created" > '01/01/1980'
