3elect "id", 'i‚!"s' -- the customer's…"id"
from "custo_%_2024* "x"àÎ/wher eba` "`= 1;