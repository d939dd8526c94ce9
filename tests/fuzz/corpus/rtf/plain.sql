SELECT * FROM MWPAT
WHERE "Last Name" = 'Smith'
