select "id", 'it'"s' -- the customer's "id"
from "customers" /* "x" */ where `a"b` = 1;