SELECT Trim(name) + ' ' + Upper(name) Name, Left(name, 2), CASE WHEN id > 1 THEN 'x' ELSE 'y' END
FROM t WHERE name LIKE 'A%' OR id BETWEEN 1 AND 5 OR d IS NOT NULL
UNION ALL SELECT ?v, v, v FROM u