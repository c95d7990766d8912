"""SQL side of the VKL emulator: seeded sqlite databases, service type names,
cell encoding and statement execution."""

import datetime
import decimal
import json
import math
import os
import re
import shutil
import sqlite3

# ---------------------------------------------------------------- JSON output


class RawNumber(str):
    """A JSON number written exactly as this text (keeps 12.50 as 12.50)."""


def to_json(value):
    """Compact JSON with UTF-8 text left unescaped and raw number literals."""
    if value is None:
        return "null"
    if value is True:
        return "true"
    if value is False:
        return "false"
    if isinstance(value, RawNumber):
        return str(value)
    if isinstance(value, int):
        return str(value)
    if isinstance(value, float):
        if math.isfinite(value):
            return repr(value)
        return "null"
    if isinstance(value, str):
        return json.dumps(value, ensure_ascii=False)
    if isinstance(value, dict):
        return "{" + ",".join(to_json(str(k)) + ":" + to_json(v) for k, v in value.items()) + "}"
    if isinstance(value, (list, tuple)):
        return "[" + ",".join(to_json(v) for v in value) + "]"
    if isinstance(value, bytes):
        return to_json(value.hex())
    return to_json(str(value))


# ---------------------------------------------------------------- type names

# sqlite gives a column declared STRING numeric affinity, which would turn the
# text '0123' into the integer 123. Column definitions are therefore stored
# with this name (text affinity) and reported as STRING again.
STRING_STORAGE_NAME = "TEXT_STRING"

_PLAIN_TYPES = {
    "INT": "INT", "INTEGER": "INT",
    "BIGINT": "BIGINT", "LONG": "LONG",
    "SMALLINT": "SMALLINT", "SHORT": "SHORT", "TINYINT": "TINYINT",
    "BOOLEAN": "BOOLEAN", "BOOL": "BOOLEAN",
    "FLOAT": "FLOAT", "DOUBLE": "DOUBLE", "REAL": "DOUBLE",
    "STRING": "STRING", STRING_STORAGE_NAME: "STRING", "TEXT": "STRING", "CLOB": "STRING",
    "VARCHAR": "VARCHAR", "CHAR": "CHAR",
    "DATE": "DATE", "TIMESTAMP": "TIMESTAMP",
}

_KINDS = {
    "INT": "int", "BIGINT": "int", "LONG": "int", "SMALLINT": "int", "SHORT": "int",
    "TINYINT": "int", "BOOLEAN": "bool", "FLOAT": "float", "DOUBLE": "float",
    "STRING": "text", "VARCHAR": "text", "CHAR": "text", "DATE": "date",
    "TIMESTAMP": "timestamp",
}

_INT32_MIN, _INT32_MAX = -2 ** 31, 2 ** 31 - 1


class ColumnType:
    """A result column's service type.

    name:     the name sent in a result schema ("INT", "DECIMAL(10,2)", "VARCHAR")
    describe: the type text of the describe-table answer ("int", "varchar(20)")
    kind:     how cells are encoded
    scale:    digits after the point for DECIMAL(p,s), else None
    """

    def __init__(self, name, describe, kind, scale=None):
        self.name = name
        self.describe = describe
        self.kind = kind
        self.scale = scale

    def __repr__(self):
        return "ColumnType(%r)" % self.name


def type_from_declared(declared):
    """Service type of a column declared in sqlite, or None when undeclared."""
    text = re.sub(r"\s+", "", declared or "").upper()
    if not text:
        return None
    base, _, params = text.partition("(")
    params = params.rstrip(")")
    if base in ("DECIMAL", "NUMERIC"):
        scale = None
        if params:
            parts = params.split(",")
            scale = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0
            name = "DECIMAL(%s)" % params
        else:
            name = "DECIMAL"
        return ColumnType(name, name.lower(), "decimal", scale)
    if base in _PLAIN_TYPES:
        name = _PLAIN_TYPES[base]
        describe = name.lower()
        if params and name in ("VARCHAR", "CHAR"):
            # The schema of a result names the plain type; the table's
            # description keeps the declared length.
            describe = "%s(%s)" % (describe, params)
        return ColumnType(name, describe, _KINDS[name])
    return ColumnType(text, text.lower(), "other")


def type_from_values(values):
    """Service type of an undeclared result column (an expression)."""
    seen = [v for v in values if v is not None]
    if not seen:
        return ColumnType("STRING", "string", "text")
    if all(isinstance(v, int) for v in seen):
        if all(_INT32_MIN <= v <= _INT32_MAX for v in seen):
            return ColumnType("INT", "int", "int")
        return ColumnType("BIGINT", "bigint", "int")
    if all(isinstance(v, (int, float)) for v in seen):
        return ColumnType("DOUBLE", "double", "float")
    return ColumnType("STRING", "string", "text")


_EPOCH = datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc)


def timestamp_millis(text):
    """Milliseconds since the epoch of a stored timestamp text (UTC when no zone)."""
    stamp = datetime.datetime.fromisoformat(text.strip().replace("Z", "+00:00"))
    if stamp.tzinfo is None:
        stamp = stamp.replace(tzinfo=datetime.timezone.utc)
    return (stamp - _EPOCH) // datetime.timedelta(milliseconds=1)


def _decimal_literal(value, scale):
    try:
        number = decimal.Decimal(repr(value) if isinstance(value, float) else str(value).strip())
        if not number.is_finite():
            return None
        if scale is not None:
            number = number.quantize(decimal.Decimal(1).scaleb(-scale))
        return RawNumber(format(number, "f"))
    except (decimal.InvalidOperation, ValueError):
        return None


def encode_cell(column_type, value):
    """The JSON value the service sends for one stored cell."""
    if value is None:
        return None
    if isinstance(value, bytes):
        value = value.decode("utf-8", "replace")
    kind = column_type.kind
    if kind == "int":
        if isinstance(value, float) and value.is_integer():
            return int(value)
        if isinstance(value, str):
            try:
                return int(value.strip())
            except ValueError:
                return value
        return value
    if kind == "bool":
        if isinstance(value, (int, float)):
            return value != 0
        lowered = value.strip().lower()
        if lowered in ("true", "1"):
            return True
        if lowered in ("false", "0"):
            return False
        return value
    if kind == "float":
        if isinstance(value, (int, float)):
            return float(value)
        try:
            return float(value)
        except ValueError:
            return value
    if kind == "decimal":
        literal = _decimal_literal(value, column_type.scale)
        return literal if literal is not None else value
    if kind in ("text", "date"):
        if isinstance(value, float):
            return repr(value)
        return str(value)
    if kind == "timestamp":
        if isinstance(value, int):
            return value
        if isinstance(value, float):
            return int(value)
        try:
            return timestamp_millis(value)
        except ValueError:
            return value
    return value


# ---------------------------------------------------------------- statements

class SqlError(Exception):
    """A statement the engine refused; the text is the engine's message."""


def first_word(sql):
    match = re.match(r"[\s(]*([A-Za-z_]+)", sql)
    return match.group(1).upper() if match else ""


def job_type_of(sql):
    word = first_word(sql)
    if word in ("SELECT", "WITH", "VALUES", "SHOW", "DESCRIBE", "DESC", "EXPLAIN"):
        return "QUERY"
    if word in ("CREATE", "DROP", "ALTER"):
        return "DDL"
    if word in ("GRANT", "REVOKE"):
        return "DCL"
    return "INSERT"


_TOKEN_RE = re.compile(r"""
    (?P<space>\s+|--[^\n]*|/\*.*?\*/)
  | (?P<quoted>'(?:[^']|'')*'|"(?:[^"]|"")*"|`(?:[^`]|``)*`|\[[^\]]*\])
  | (?P<word>[A-Za-z_][A-Za-z0-9_$]*)
  | (?P<other>.)
""", re.S | re.X)


def store_string_columns(sql):
    """Rewrites a column's type STRING to its storage name in a column list.

    Only a word STRING that follows a column name which itself follows "(" or
    "," is a column type; names, literals and select lists stay untouched."""
    out = []
    significant = []  # (kind, text) of the last significant tokens
    for match in _TOKEN_RE.finditer(sql):
        kind = match.lastgroup
        text = match.group()
        if kind == "space":
            out.append(text)
            continue
        if (kind == "word" and text.upper() == "STRING" and len(significant) >= 2
                and significant[-1][0] in ("word", "quoted")
                and significant[-2][1] in ("(", ",")):
            text = STRING_STORAGE_NAME
        out.append(text)
        significant = (significant + [(kind, text)])[-2:]
    return "".join(out)


_SHOW_TABLES_RE = re.compile(
    r"^\s*show\s+tables(?:\s+(?:in|from)\s+`?(?P<db>[A-Za-z0-9_]+)`?)?"
    r"(?:\s+like\s+'(?P<pattern>[^']*)')?\s*;?\s*$", re.I)
_DESCRIBE_RE = re.compile(r"^\s*(?:describe|desc)\s+(?:table\s+)?`?(?P<table>[^`\s;]+)`?\s*;?\s*$", re.I)


def table_pattern_regex(pattern):
    """'*' matches any text, '|' separates alternatives, the rest is literal."""
    alternatives = []
    for alternative in pattern.split("|"):
        alternatives.append(".*".join(re.escape(piece) for piece in alternative.strip().split("*")))
    return re.compile("(?:%s)\\Z" % "|".join(alternatives), re.I)


class Result:
    def __init__(self, schema=None, rows=None, count=0):
        self.schema = schema or []  # list of (column name, ColumnType)
        self.rows = rows or []      # list of lists of JSON values
        self.count = count

    def schema_json(self):
        return [{name: column_type.name} for name, column_type in self.schema]


_STRING = ColumnType("STRING", "string", "text")


# ---------------------------------------------------------------- databases

DATABASES = ("default", "db1", "db2")

_SEED = {
    "db1": [
        """CREATE TABLE all_types (id INT, c_boolean BOOLEAN, c_tinyint TINYINT,
            c_smallint SMALLINT, c_int INT, c_bigint BIGINT, c_float FLOAT, c_double DOUBLE,
            c_decimal DECIMAL(10,2), c_string STRING, c_varchar VARCHAR(20), c_char CHAR(3),
            c_date DATE, c_timestamp TIMESTAMP)""",
        """INSERT INTO all_types VALUES
            (1, 1, 127, 32767, 2147483647, 9223372036854775807, 1.5, 3.141592653589793,
             12.50, 'hello', 'varchar text', 'abc', '2024-01-15', '2024-01-15 10:30:45.123'),
            (2, 0, -128, -32768, -2147483648, -9223372036854775808, -0.25, -2.5e-10,
             -99999999.99, 'Müller', '東京', 'xyz', '1970-01-01', '1970-01-01 00:00:00'),
            (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)""",
        """CREATE TABLE customers (id INT, name STRING, city VARCHAR(30),
            balance DECIMAL(12,2), created TIMESTAMP)""",
        """INSERT INTO customers VALUES
            (1, 'Anna Müller', 'München', 1050.75, '2023-03-01 08:00:00'),
            (2, '山田太郎', '東京', 0.00, '2023-06-15 12:30:00'),
            (3, 'Zoë "Zed" O''Neil', 'Paris', -20.5, '2024-02-29 23:59:59.999'),
            (4, 'Bob', NULL, NULL, NULL),
            (5, 'Ærøskøbing', 'Ærø', 99999.99, '2000-01-01 00:00:00')""",
        "CREATE TABLE numbers (id INT, label STRING, squared BIGINT)",
        "CREATE TABLE empty_table (id INT, name STRING)",
    ],
    "db2": [
        """CREATE TABLE orders (order_id BIGINT, customer_id INT, amount DECIMAL(10,2),
            placed DATE, note STRING)""",
        """INSERT INTO orders VALUES
            (1001, 1, 19.99, '2024-01-02', 'first order'),
            (1002, 1, 5.00, '2024-01-03', NULL),
            (1003, 2, 1234.56, '2024-02-10', 'grüße')""",
        "CREATE TABLE sales_2023 (id INT, amount DOUBLE)",
        "CREATE TABLE sales_2024 (id INT, amount DOUBLE)",
        "CREATE TABLE salesx (id INT, amount DOUBLE)",
        "INSERT INTO sales_2024 VALUES (1, 10.5), (2, 20.25)",
    ],
    "default": [],
}

# Column comments given in describe answers (sqlite keeps none of its own).
DESCRIPTIONS = {
    ("db1", "customers", "name"): "customer name",
    ("db1", "customers", "city"): "Wohnort (Stadt)",
    ("db1", "numbers", "id"): "1 to 250",
}


def create_seed(directory):
    """Creates the seeded database files in directory (fresh each start)."""
    os.makedirs(directory, exist_ok=True)
    for name in DATABASES:
        path = os.path.join(directory, name + ".sqlite")
        if os.path.exists(path):
            os.remove(path)
        conn = sqlite3.connect(path)
        try:
            for statement in _SEED[name]:
                conn.execute(store_string_columns(statement))
            if name == "db1":
                conn.executemany("INSERT INTO numbers VALUES (?, ?, ?)",
                                 [(i, "row %d" % i, i * i) for i in range(1, 251)])
            conn.commit()
        finally:
            conn.close()


class ProjectDatabases:
    """One project's own copies of the seeded databases, made on first use, so
    that writes of one test never reach another."""

    def __init__(self, seed_dir, directory):
        self.seed_dir = seed_dir
        self.directory = directory
        self.connections = {}

    def exists(self, name):
        return name in DATABASES

    def connection(self, name):
        conn = self.connections.get(name)
        if conn is None:
            os.makedirs(self.directory, exist_ok=True)
            path = os.path.join(self.directory, name + ".sqlite")
            if not os.path.exists(path):
                shutil.copyfile(os.path.join(self.seed_dir, name + ".sqlite"), path)
            conn = sqlite3.connect(path, check_same_thread=False, isolation_level=None)
            self.connections[name] = conn
        return conn

    def close(self):
        for conn in self.connections.values():
            conn.close()
        self.connections.clear()
        shutil.rmtree(self.directory, ignore_errors=True)

    # ------------------------------------------------------------ catalog

    def tables(self, database):
        conn = self.connection(database)
        return [row[0] for row in conn.execute(
            "SELECT name FROM sqlite_master WHERE type IN ('table', 'view') "
            "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name")]

    def describe(self, database, table):
        """[(column name, ColumnType, description)], or None for no such table."""
        if not self.exists(database):
            return None
        conn = self.connection(database)
        actual = [name for name in self.tables(database) if name.lower() == table.lower()]
        if not actual:
            return None
        info = conn.execute("SELECT name, type FROM pragma_table_info(?)", (actual[0],)).fetchall()
        columns = []
        for name, declared in info:
            column_type = type_from_declared(declared) or _STRING
            columns.append((name, column_type,
                            DESCRIPTIONS.get((database, actual[0].lower(), name.lower()), "")))
        return columns

    # ------------------------------------------------------------ statements

    def run(self, database, sql, job_type):
        """Runs one statement in database; raises SqlError with the engine's message."""
        if not self.exists(database):
            raise SqlError("Database '%s' not found" % database)
        if job_type == "DCL":
            if not re.match(r"^\s*(GRANT|REVOKE)\s+\S+", sql, re.I):
                raise SqlError("Invalid DCL statement")
            return Result()
        show = _SHOW_TABLES_RE.match(sql)
        if show:
            return self._show_tables(show.group("db") or database, show.group("pattern"))
        described = _DESCRIBE_RE.match(sql)
        if described:
            return self._describe_statement(database, described.group("table"))
        conn = self.connection(database)
        if job_type == "DDL":
            sql = store_string_columns(sql)
        try:
            cursor = conn.execute(sql)
            raw_rows = cursor.fetchall() if cursor.description else []
            names = [d[0] for d in cursor.description] if cursor.description else []
            count = cursor.rowcount if cursor.rowcount >= 0 else 0
        except (sqlite3.Error, sqlite3.Warning, ValueError, OverflowError) as error:
            raise SqlError(str(error))
        if job_type != "QUERY":
            return Result(count=count)
        declared = self._declared_types(conn, sql, len(names))
        schema = []
        for index, name in enumerate(names):
            column_type = declared[index] or type_from_values(row[index] for row in raw_rows)
            schema.append((name, column_type))
        rows = [[encode_cell(schema[i][1], cell) for i, cell in enumerate(row)] for row in raw_rows]
        return Result(schema, rows, len(rows))

    @staticmethod
    def _declared_types(conn, sql, width):
        """Declared column types of a SELECT's result, found through a temporary
        view (sqlite keeps the declared type of columns taken straight from a table)."""
        types = [None] * width
        if first_word(sql) not in ("SELECT", "WITH", "VALUES"):
            return types
        view = "_emu_types_view"
        try:
            conn.execute("DROP VIEW IF EXISTS temp.%s" % view)
            conn.execute("CREATE TEMP VIEW %s AS %s" % (view, sql))
            info = conn.execute("SELECT type FROM pragma_table_info('%s', 'temp')" % view).fetchall()
            if len(info) == width:
                types = [type_from_declared(row[0]) for row in info]
        except (sqlite3.Error, sqlite3.Warning, ValueError):
            pass
        finally:
            try:
                conn.execute("DROP VIEW IF EXISTS temp.%s" % view)
            except sqlite3.Error:
                pass
        return types

    def _show_tables(self, database, pattern):
        if not self.exists(database):
            raise SqlError("Database '%s' not found" % database)
        names = self.tables(database)
        if pattern is not None:
            regex = table_pattern_regex(pattern)
            names = [name for name in names if regex.match(name)]
        return Result([("database", _STRING), ("tableName", _STRING)],
                      [[database, name] for name in names], len(names))

    def _describe_statement(self, database, table):
        columns = self.describe(database, table)
        if columns is None:
            raise SqlError("Table or view not found: %s" % table)
        rows = [[name, column_type.describe, description] for name, column_type, description in columns]
        return Result([("col_name", _STRING), ("data_type", _STRING), ("comment", _STRING)],
                      rows, len(rows))
