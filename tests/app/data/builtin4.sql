Select
 pat."Chart Number" ACCT_KEY,
 pat."Last Name" LNAME,
 pat."First Name" FNAME,
 /*Left(pat."Middle Name", 1) MI,*/
 pat."Street 1" ADDR1, 
 /*pat."Street 2",*/
 pat."City" CITY,
 pat."State" STATE,
 pat."Zip Code" ZIP,
 Left(pat."Sex", 1) SEX,
 pat."Date of Birth" DOB,
 /*ins1."Code" CODE,*/
 sub."Last Name" SUB_LNAME,
 sub."First Name" SUB_FNAME,
 /*Left(sub."Middle Name", 1) SUB_MI,*/
 sub."Street 2" SUB_ADDR1,
 sub."City" SUB_CITY,
 sub."State" SUB_STATE,
 sub."Zip Code" SUB_ZIP,
 cas."Policy Number #1" INSID1,
 cas."Group Number #1" PRMGRP,
 
 ins1."Code" INSCODE,
 ins1."Name" INSNAME,
 ins1."Street 1" INSADDR,
 /*ins1."Street 2" INS1STREET2,*/
 ins1."City" INSCITY,
 ins1."State" INSSTATE,
 ins1."Zip Code" INSZIP
From MWCAS cas, MWPAT pat, MWPAT sub, MWINS ins1
where
 cas."Chart Number" = pat."Chart Number"
 and cas."Insurance Carrier #1" = ins1."Code"
 and sub."Chart Number" = cas."Insured #1"
 and cas."Case Number" in
(Select
 Max("Case Number") "Case Number"
From MWCAS
Group By "Chart Number")
Order By pat."Last Name"
