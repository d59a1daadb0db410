"""The mutants of one C++ source file: small faults of the kinds people really make.

The file is read once and masked: comments become spaces and the insides of string and
character literals become underscores, so that the patterns below only ever see code and every
offset in the mask is the same offset in the text. A mutant is a span of the original text and
its replacement.
"""

import re
from dataclasses import dataclass

SKIP_MARK = re.compile(r"mutate:\s*skip\b(.*)")
KINDS = {"relational", "arithmetic", "logical", "constant", "condition", "statement", "minmax",
         "rounding"}
OFF_MARK = re.compile(r"mutate:\s*off\b(.*)")
ON_MARK = re.compile(r"mutate:\s*on\b")

# Statements that only report (to the terminal or a log) are not worth mutating.
LOG_STATEMENT = re.compile(r"\bstderr\b|\bstd::cerr\b|\bperror\s*\(|\bstd::clog\b")
# Statements that are assertions about the code rather than behaviour.
ASSERT_STATEMENT = re.compile(r"^\s*(static_assert|assert)\s*\(")

KEYWORDS_NOT_EXPRESSIONS = {
    "return", "break", "continue", "goto", "throw", "delete", "case", "default", "using",
    "typedef", "namespace", "template", "static_assert", "assert", "else", "do", "if", "for",
    "while", "switch", "const", "constexpr", "static", "auto", "struct", "class", "enum",
    "extern", "friend", "public", "private", "protected", "operator", "new", "sizeof",
    "static_cast", "reinterpret_cast", "const_cast", "dynamic_cast", "va_end", "va_start",
}

NUMBER = re.compile(r"(?<![\w.'])(0[xX][0-9a-fA-F']+|[0-9][0-9']*\.?[0-9']*(?:[eE][+-]?[0-9]+)?"
                    r"|\.[0-9]+(?:[eE][+-]?[0-9]+)?)([uUlLfF]*)(?![\w.'])")
TABLE_ENTRIES = 16
# Words a block's brace can follow directly.
BLOCK_WORDS = {"else", "do", "try", "const", "override", "noexcept", "final", "mutable",
               "namespace", "struct", "class", "union", "enum"}


@dataclass
class Mutant:
    path: str      # relative to the checkout
    line: int      # 1-based line of the span's start
    start: int     # offsets into the original text
    end: int
    replacement: str
    kind: str
    change: str    # what a reader sees: "< -> <="
    span_lines: tuple = ()  # every line the span touches

    @property
    def ident(self):
        return f"{self.path}:{self.line}:{self.start}:{self.kind}:{self.replacement}"

    def apply(self, text):
        return text[: self.start] + self.replacement + text[self.end:]


def mask(text, strings=True):
    """Comments to spaces, literal contents to underscores (unless strings is False); newlines
    and offsets kept."""
    out = list(text)
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            for k in range(i, j):
                out[k] = " "
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            for k in range(i, j):
                if out[k] != "\n":
                    out[k] = " "
            i = j
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^()\\\s]{0,16})\(', text[i:])
            if not m:
                i += 1
                continue
            close = ")" + m.group(1) + '"'
            j = text.find(close, i + m.end())
            j = n if j < 0 else j + len(close)
            for k in range(i + 2, j - 1):
                if out[k] != "\n" and strings:
                    out[k] = "_"
            i = j
        elif c in "\"'":
            # A digit separator (1'000) is not a character literal.
            if c == "'" and i > 0 and text[i - 1].isalnum() and i + 1 < n and text[i + 1].isalnum():
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            if strings:
                for k in range(i + 1, min(j, n)):
                    out[k] = "_"
            i = j + 1
        else:
            i += 1
    return "".join(out)


def line_starts(text):
    starts = [0]
    for m in re.finditer("\n", text):
        starts.append(m.end())
    return starts


def comment_of(raw, code):
    """The comment text of a line: the characters the mask blanked that were not blank."""
    return "".join(r for r, c in zip(raw, code) if c == " " and r != " ")


def skipped_lines(text, masked):
    """Lines never mutated, as line -> the kinds skipped there (None: every kind): marked ones,
    marked blocks, and preprocessor directives. "mutate: skip constant relational (why)" skips
    only those kinds on its line, so that the line's other mutants are still judged."""
    skip = {}
    lines = text.split("\n")
    mlines = masked.split("\n")
    off = False
    continued = False
    for no, (raw, code) in enumerate(zip(lines, mlines), start=1):
        comment = comment_of(raw, code)
        if OFF_MARK.search(comment):
            off = True
        mark = SKIP_MARK.search("".join(r if c == " " else " " for r, c in zip(raw, code)))
        if off:
            skip[no] = None
        elif mark:
            kinds = mark_kinds(mark.group(1))
            skip[no] = kinds or None
        if ON_MARK.search(comment):
            off = False
        if continued or code.lstrip().startswith("#"):
            skip[no] = None
            continued = code.rstrip().endswith("\\")
        else:
            continued = False
    return skip


def mark_kinds(after):
    """The kinds a skip mark names before its reason: "constant arithmetic (why)"."""
    head = after.split("(", 1)[0].split()
    return {w for w in head if w in KINDS}


def unmarked_reasons(text):
    """Lines whose skip mark gives no reason (the reason is what makes a mark reviewable)."""
    bad = []
    for no, (raw, code) in enumerate(zip(text.split("\n"), mask(text).split("\n")), start=1):
        comment = comment_of(raw, code)
        for pat in (SKIP_MARK, OFF_MARK):
            m = pat.search(comment)
            if m and not re.search(r"\(\S.*\)", m.group(1)):
                bad.append(no)
    return bad


def match_close(masked, i, open_ch="(", close_ch=")"):
    """Offset of the bracket closing the one at i, or -1."""
    depth = 0
    for j in range(i, len(masked)):
        ch = masked[j]
        if ch == open_ch:
            depth += 1
        elif ch == close_ch:
            depth -= 1
            if depth == 0:
                return j
    return -1


def collapse_brackets(s):
    """Text with the contents of (), [] and {} removed, brackets kept: f(a, b)[i] -> f()[]."""
    out, depth = [], 0
    for ch in s:
        if ch in "([{":
            if depth == 0:
                out.append(ch)
            depth += 1
        elif ch in ")]}":
            depth -= 1
            if depth == 0:
                out.append(ch)
        elif depth == 0:
            out.append(ch)
    return "".join(out)


def init_braces(masked):
    """Offsets of braces that open or close an initialiser list ("= {a, b}", "f({a, b})")."""
    found = set()
    # After '=', ',', '(' or return, or straight after a type's name ("cpx{0, 0}"); a block's
    # brace follows a space.
    for m in re.finditer(r"(=\s*|,\s*|\(\s*|\breturn\s*|[\w>])\{", masked):
        before = re.search(r"(\w+)$", masked[max(0, m.end() - 40): m.end() - 1])
        if before and before.group(1) in BLOCK_WORDS:
            continue
        a = m.end() - 1
        b = match_close(masked, a, "{", "}")
        if b > 0:
            found.update((a, b))
    return found


def statements(masked):
    """(start, end) of each simple statement: from a boundary to its ';' at bracket depth 0.

    A boundary is ';', a block's '{' or '}', the ')' closing an if/for/while/switch header,
    'else', 'do', or a label's ':'. end is the offset just past the ';'.
    """
    spans = []
    n = len(masked)
    inits = init_braces(masked)
    opens, closes = "([", ")]"
    headers = set()
    for m in re.finditer(r"\b(if|for|while|switch)\s*(constexpr\s*)?\(", masked):
        close = match_close(masked, m.end() - 1)
        if close > 0:
            headers.add(close)
    boundaries = []
    depth = 0
    for i, ch in enumerate(masked):
        if ch in opens or (ch == "{" and i in inits):
            depth += 1
        elif ch in closes or (ch == "}" and i in inits):
            depth -= 1
            if i in headers:
                boundaries.append(i + 1)
        elif depth == 0 and ch in ";{}":
            boundaries.append(i + 1)
    for m in re.finditer(r"\b(else|do)\b", masked):
        boundaries.append(m.end())
    for m in re.finditer(r"(\bcase\b[^;:]*|\bdefault\s*|\b(public|private|protected)\s*):(?!:)", masked):
        boundaries.append(m.end())
    for b in sorted(set(boundaries)):
        j = b
        depth = 0
        while j < n:
            ch = masked[j]
            if ch in opens or (ch == "{" and j in inits):
                depth += 1
            elif ch in closes or (ch == "}" and j in inits):
                depth -= 1
                if depth < 0:
                    break
            elif depth == 0 and ch in "{}":
                break
            elif depth == 0 and ch == ";":
                spans.append((b, j + 1))
                break
            j += 1
    return spans


def statement_kind(code):
    """'call' or 'assign' for a statement that may be removed, else None."""
    s = " ".join(code.split()).rstrip(";").strip()
    if not s:
        return None
    first = re.match(r"[A-Za-z_]\w*", s.lstrip("*(:+-"))
    if first and first.group(0) in KEYWORDS_NOT_EXPRESSIONS:
        return None
    if s.startswith(("++", "--")) or s.endswith(("++", "--")):
        flat = collapse_brackets(s.strip("+-")).replace("->", ".")
        return "assign" if re.fullmatch(r"[*(]*[\w.:]+(\[\]|\.\w+|\))*", flat) else None
    flat = collapse_brackets(s).replace("->", ".")
    # An assignment whose left side is one lvalue without spaces (a declaration has a space
    # between its type and its name).
    m = re.search(r"<<=|>>=|[+\-*/%&|^]=|(?<![=!<>])=(?!=)", flat)
    if m:
        lhs = flat[: m.start()].strip()
        if re.fullmatch(r"[*(]*[\w.:]+(\[\]|\(\)|\.\w+|\))*", lhs):
            return "assign"
        return None
    # A call: a name or member chain followed by an argument list, possibly chained on.
    if re.fullmatch(r"(::)?\w+(\s*(::|\.)\s*\w+)*(<[^;]*>)?\s*\(\)(\s*\.\s*\w+\s*\(\))*", flat):
        return "call"
    return None


def numeric_variants(lit):
    """The changed constants of one literal: 0 -> 1, n -> n +- 1, a factor x 2."""
    m = re.fullmatch(r"(0[xX][0-9a-fA-F']+|[0-9][0-9']*\.?[0-9']*(?:[eE][+-]?[0-9]+)?|\.[0-9]+(?:[eE][+-]?[0-9]+)?)([uUlLfF]*)", lit)
    if not m:
        return []
    body, suffix = m.group(1), m.group(2)
    clean = body.replace("'", "")
    is_hex = clean[:2].lower() == "0x"
    is_float = not is_hex and ("." in clean or "e" in clean.lower() or "f" in suffix.lower())
    if is_float:
        v = float(clean)
        if v == 0.0:
            return ["1.0" + suffix]
        doubled = repr(v * 2)
        if "e" not in doubled and "." not in doubled:
            doubled += ".0"
        return [doubled + suffix]
    v = int(clean, 16) if is_hex else (int(clean, 8) if len(clean) > 1 and clean[0] == "0" else int(clean))
    if v == 0:
        return ["1" + suffix]
    fmt = (lambda x: hex(x)) if is_hex else str
    out = [fmt(v + 1) + suffix, fmt(v - 1) + suffix]
    return out


def _has_decl_condition(cond):
    """if (auto* p = f()) and the like: a declaration cannot be negated."""
    flat = collapse_brackets(" ".join(cond.split()))
    return bool(re.match(r"^(const\s+)?[\w:<>]+[\s*&]+\w+\s*=[^=]", flat)) or ";" in flat


def generate(path, text):
    """Every mutant of the file, in the order of the text, duplicates removed."""
    masked = mask(text)
    starts = line_starts(text)
    skip = skipped_lines(text, masked)

    import bisect

    def line_of(off):
        return bisect.bisect_right(starts, off)

    # Spans not mutated at all: logging and assertion statements.
    quiet = []
    for a, b in statements(masked):
        code = masked[a:b]
        if LOG_STATEMENT.search(code) or ASSERT_STATEMENT.search(code):
            quiet.append((a, b))
    # Array bounds in declarations ("char buf[64];"): changing them changes nothing a test sees.
    for m in re.finditer(r"\b[A-Za-z_]\w*[\s*&]+[A-Za-z_]\w*((\[[^\]\n]*\])+)\s*[;={]", masked):
        quiet.append((m.start(1), m.end(1)))
    # The entries of a table (a brace list of more than TABLE_ENTRIES numbers): a table is
    # checked by what uses it, and a mutant per entry would swamp every other kind.
    for a in sorted(init_braces(masked)):
        if masked[a] != "{":
            continue
        b = match_close(masked, a, "{", "}")
        if len(NUMBER.findall(masked[a:b])) > TABLE_ENTRIES:
            quiet.append((a, b + 1))
    for m in re.finditer(r"\bsizeof\s*\(|\balignas\s*\(|\btemplate\s*<", masked):
        close = match_close(masked, m.end() - 1, *(("(", ")") if m.group(0).endswith("(") else ("<", ">")))
        if close > 0:
            quiet.append((m.start(), close + 1))
    quiet.sort()

    def is_quiet(a, b):
        for q0, q1 in quiet:
            if q0 <= a and b <= q1:
                return True
            if q0 > a:
                break
        return False

    out = []

    def add(a, b, repl, kind, change):
        first, last = line_of(a), line_of(max(a, b - 1))
        lines = tuple(range(first, last + 1))
        if any(l in skip and (skip[l] is None or kind in skip[l]) for l in lines) or is_quiet(a, b):
            return
        out.append(Mutant(path, first, a, b, repl, kind, change, lines))

    # Relational operators, written with a space on each side (templates and shifts are not).
    flips = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
    for m in re.finditer(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)", masked):
        op = m.group(1)
        add(m.start(), m.end(), flips[op], "relational", f"{op} -> {flips[op]}")
    # Arithmetic, binary only (a space on each side), and the compound assignments.
    arith = {"+": "-", "-": "+", "*": "/", "/": "*", "+=": "-=", "-=": "+=", "*=": "/=", "/=": "*="}
    for m in re.finditer(r"(?<=\s)(\+=|-=|\*=|/=|[+\-*/])(?=\s)", masked):
        op = m.group(1)
        add(m.start(), m.end(), arith[op], "arithmetic", f"{op} -> {arith[op]}")
    # Logical connectives.
    for m in re.finditer(r"(?<=\s)(&&|\|\|)(?=\s)", masked):
        op = m.group(1)
        other = "||" if op == "&&" else "&&"
        add(m.start(), m.end(), other, "logical", f"{op} -> {other}")
    # Numeric constants.
    for m in NUMBER.finditer(masked):
        lit = m.group(0)
        for v in numeric_variants(lit):
            add(m.start(), m.end(), v, "constant", f"{lit} -> {v}")
    # Conditions of if and while: negated, always true, always false.
    for m in re.finditer(r"\b(if|while)\s*\(", masked):
        if re.match(r"\s*constexpr\b", masked[m.end():]):
            continue
        close = match_close(masked, m.end() - 1)
        if close < 0:
            continue
        a, b = m.end(), close
        cond = text[a:b]
        if _has_decl_condition(masked[a:b]) or not cond.strip():
            continue
        short = " ".join(cond.split())
        short = short if len(short) <= 60 else short[:57] + "..."
        kw = m.group(1)
        add(a, b, f"!({cond})", "condition", f"{kw} ({short}) -> {kw} (!({short}))")
        if cond.strip() not in ("true", "1"):
            add(a, b, "true", "condition", f"{kw} ({short}) -> {kw} (true)")
        if cond.strip() not in ("false", "0"):
            add(a, b, "false", "condition", f"{kw} ({short}) -> {kw} (false)")
    # Call and assignment statements removed.
    for a, b in statements(masked):
        code = masked[a:b]
        kind = statement_kind(code)
        if not kind:
            continue
        lead = len(code) - len(code.lstrip())
        a2 = a + lead
        shown = " ".join(text[a2:b].split())
        shown = shown if len(shown) <= 70 else shown[:67] + "..."
        add(a2, b, ";", "statement", f"removed `{shown}`")
    # std::min <-> std::max.
    for m in re.finditer(r"\bstd::(min|max|fmin|fmax)\b", masked):
        name = m.group(1)
        other = {"min": "max", "max": "min", "fmin": "fmax", "fmax": "fmin"}[name]
        add(m.start(), m.end(), "std::" + other, "minmax", f"std::{name} -> std::{other}")
    # Rounding dropped: "+ 0.5" removed, std::round truncating.
    for m in re.finditer(r"\s*\+\s*0?\.50*[fF]?\b(?![\w.])", masked):
        add(m.start(), m.end(), "", "rounding", "`+ 0.5` dropped")
    for m in re.finditer(r"\bstd::round\b", masked):
        add(m.start(), m.end(), "std::trunc", "rounding", "std::round -> std::trunc")

    seen, unique = set(), []
    for mu in sorted(out, key=lambda x: (x.start, x.end, x.kind, x.replacement)):
        key = (mu.start, mu.end, mu.replacement)
        if key in seen or text[mu.start:mu.end] == mu.replacement:
            continue
        seen.add(key)
        unique.append(mu)
    return unique
