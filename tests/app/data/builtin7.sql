Update mwdia set [code 3] = '' where [code 3 description] is null and [code 3] = [code 2]
