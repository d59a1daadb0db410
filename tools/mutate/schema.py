"""All the mutants of a file in one build: a mutant schema.

Each mutant sits in a site of the function code that can be switched at run time by the
number in QUILLMAR_MUTANT (0: the original):

- a statement (a call, an assignment, a return, ...) becomes
  { if (id == 3) { <statement with mutant 3> } else if (id == 4) { ... } else { <statement> } }
- the condition of an if, a while or a for becomes (id == 5 ? bool(<mutant 5>) : ... : bool(<it>))
- the step of a for becomes id == 6 ? (void)(<mutant 6>) : (void)(<step>)
- the initialiser of a local variable becomes (id == 7 ? (<mutant 7>) : (<initialiser>))

so one build of the file serves every mutant in a site, and a mutant costs only its tests. A
mutant outside any site (a constant at namespace scope, a member initialiser, a case label)
or in a site the compiler refuses is built on its own. The variants are written on the site's
first line and the original keeps its lines, so line numbers stay those of the source.
"""

import re

from mutants import collapse_brackets, init_braces, mask, match_close, statement_kind, statements

ID = "quillmar_mutant_id_"
PROLOGUE = ('#include <cstdlib>\n'
            f'static const int {ID} = [] {{ const char* s = std::getenv("QUILLMAR_MUTANT"); '
            'return s ? std::atoi(s) : 0; }();\n')

CODE_OPENERS = ("else", "do", "try", "mutable", "noexcept", "override", "final", "const")
NOT_DUPLICATED = {"if", "for", "while", "switch", "do", "else", "case", "default", "using",
                  "typedef", "static_assert", "template", "namespace", "struct", "class", "enum",
                  "union", "public", "private", "protected", "friend", "extern", "asm"}
DECLARATION_START = {"const", "auto", "unsigned", "signed", "static", "volatile", "struct",
                     "int", "long", "short", "char", "bool", "double", "float", "size_t"}


def code_spans(masked):
    """(start, end) of every function body: braces that open code, not a namespace or class."""
    inits = init_braces(masked)
    spans, stack = [], []
    for i, ch in enumerate(masked):
        if i in inits:
            continue
        if ch == "{":
            before = masked[:i].rstrip()
            word = re.search(r"(\w+)$", before)
            code = bool(stack and stack[-1][1]) or before.endswith((")", "]")) or \
                bool(word and word.group(1) in CODE_OPENERS)
            stack.append((i, code))
        elif ch == "}" and stack:
            a, code = stack.pop()
            if code and not (stack and stack[-1][1]):
                spans.append((a, i + 1))
    return spans


def _inside(spans, a, b):
    return any(s <= a and b <= e for s, e in spans)


def _top_level_split(s, sep):
    parts, depth, cur = [], 0, 0
    for i, ch in enumerate(s):
        if ch in "([{":
            depth += 1
        elif ch in ")]}":
            depth -= 1
        elif ch == sep and depth == 0:
            parts.append((cur, i))
            cur = i + 1
    parts.append((cur, len(s)))
    return parts


def sites(text, masked):
    """Every switchable site: (kind, start, end) over the original text."""
    code = code_spans(masked)
    found = []
    for m in re.finditer(r"\b(if|while|for)\s*\(", masked):
        if re.match(r"\s*constexpr\b", masked[m.end():]):
            continue
        a = m.end()
        b = match_close(masked, a - 1)
        if b < 0 or not _inside(code, a, b):
            continue
        inner = masked[a:b]
        if m.group(1) == "for":
            parts = _top_level_split(inner, ";")
            if len(parts) != 3:
                continue  # a range-for
            (i0, i1), (c0, c1), (s0, s1) = parts
            decl = re.match(r"\s*[\w:<>]+[\s*&]+\w+\s*=(?!=)", inner[i0:i1])
            if decl and "," not in collapse_brackets(inner[i0:i1]):
                found.append(("initialiser", a + i0 + decl.end(), a + i1))
            if inner[c0:c1].strip():
                found.append(("condition", a + c0, a + c1))
            if inner[s0:s1].strip():
                found.append(("step", a + s0, a + s1))
        else:
            flat = collapse_brackets(" ".join(inner.split()))
            if re.match(r"^(const\s+)?[\w:<>]+[\s*&]+\w+\s*=[^=]", flat) or ";" in flat:
                continue
            found.append(("condition", a, b))
    for a, b in statements(masked):
        if not _inside(code, a, b):
            continue
        body = masked[a:b]
        lead = len(body) - len(body.lstrip())
        a += lead
        body = masked[a:b]
        first = re.match(r"[A-Za-z_]\w*", body)
        word = first.group(0) if first else ""
        if word in NOT_DUPLICATED or "#" in body:
            continue
        if statement_kind(body) or word in ("return", "break", "continue", "throw", "delete", "goto"):
            found.append(("statement", a, b))
            continue
        # A local variable's initialisers: "T a = x, b = y;", each declarator's on its own.
        flat = collapse_brackets(body.rstrip(";"))
        eq = re.search(r"(?<![=!<>+\-*/%&|^])=(?!=)", flat)
        if not eq or re.search(r"\bconstexpr\b", flat):
            continue
        lhs = flat[: eq.start()].strip()
        if not (" " in lhs or "*" in lhs or "&" in lhs or word in DECLARATION_START):
            continue
        for d0, d1 in _declarators(masked, a, b - 1):
            part = masked[d0:d1]
            m_eq = re.search(r"(?<![=!<>+\-*/%&|^])=(?!=)", collapse_brackets(part))
            if not m_eq:
                continue
            pos = _top_level_eq(masked, d0, d1)
            if pos is None or masked[pos + 1:d1].strip().startswith("{"):
                continue
            found.append(("initialiser", pos + 1, d1))
    return [f for f in found if 'R"' not in text[f[1]:f[2]]]


def _outside_brackets(masked, a, b):
    """(offset, character) of each character between a and b outside brackets (the brackets
    themselves left out)."""
    depth = 0
    for i in range(a, b):
        ch = masked[i]
        if ch in "([{":
            depth += 1
        elif ch in ")]}":
            depth -= 1
        elif depth == 0:
            yield i, ch


def _declarators(masked, a, b):
    """(start, end) of each declarator of a declaration between a and b: split at the commas
    outside brackets."""
    parts, cur = [], a
    for i, ch in _outside_brackets(masked, a, b):
        if ch == ",":
            parts.append((cur, i))
            cur = i + 1
    parts.append((cur, b))
    return parts


def _top_level_eq(masked, a, b):
    """The offset of the first '=' between a and b outside brackets that is an assignment."""
    for i, ch in _outside_brackets(masked, a, b):
        if ch == "=" and masked[i + 1] != "=" and masked[i - 1] not in "=!<>+-*/%&|^":
            return i
    return None


def _container(site_list, mu):
    best = None
    for s in site_list:
        kind, a, b = s[0], s[1], s[2]
        if a <= mu.start and mu.end <= b:
            if kind == "initialiser" and mu.kind == "rounding":
                continue  # it can change the initialiser's type
            if best is None or (b - a) < (best[2] - best[1]):
                best = s
    return best


class Schema:
    """The schema's text; ids[mutant index] = its number; per number the site's kind, its
    lines, and the columns of its variant on the site's first line."""

    def __init__(self):
        self.text = None
        self.ids, self.kind, self.lines, self.cols = {}, {}, {}, {}

    def blame(self, log, path):
        """From the compiler's errors: (numbers whose own statement does not compile, numbers to
        build on their own instead); None when an error lies outside every site."""
        broken, moved = set(), set()
        for line, col in error_positions(log, path):
            owner = [k for k, (l, c0, c1) in self.cols.items() if l == line and c0 <= col < c1]
            if owner and self.kind[owner[0]] == "statement":
                broken.add(owner[0])  # the mutated statement alone, in its own scope
                continue
            site = [k for k, (a, b) in self.lines.items() if a <= line <= b]
            if not site:
                return None
            moved.update(owner or site)
        return broken, moved - broken


def error_positions(log, path):
    """(line, column) in the file of each error: where the message is, or, for an error inside
    a header, where the file's code was inlined or instantiated that led to it."""
    ref = re.compile(re.escape(path) + r":(\d+):(\d+)")
    found, context = [], []
    for text in log.splitlines():
        refs = [(int(m.group(1)), int(m.group(2))) for m in ref.finditer(text)]
        if re.search(r": (fatal )?error:", text):
            found += refs[:1] if refs and text.startswith(path) else context[:1]
            context = []
        elif re.search(r": (warning|note):", text):
            context = []
        elif refs:
            context += refs
    return found


def build(text, mutant_list, excluded=frozenset()):
    """The schema of the mutants that sit in a site, `excluded` (indices) left out; None when
    no mutant does."""
    masked = mask(text)
    plain = mask(text, strings=False)  # comments gone, strings kept: variants fit on one line
    site_list = sites(text, masked)
    by_site = {}
    for i, mu in enumerate(mutant_list):
        if i in excluded:
            continue
        s = _container(site_list, mu)
        if s is not None:
            by_site.setdefault(s[:3], []).append(i)
    if not by_site:
        return None
    sch = Schema()
    pieces, last = [], 0
    column = [0]  # characters written since the last newline

    def emit(piece):
        pieces.append(piece)
        nl = piece.rfind("\n")
        column[0] = len(piece) - nl - 1 if nl >= 0 else column[0] + len(piece)

    for kind, a, b in sorted(by_site, key=lambda s: (s[1], -s[2])):
        # A site that overlaps the one before keeps its mutants out (they are built alone).
        if a < last:
            continue
        members = by_site[(kind, a, b)]
        original = text[a:b]
        first = text.count("\n", 0, a) + 1
        variants = []
        for i in members:
            mu = mutant_list[i]
            v = plain[a:mu.start] + mu.replacement + plain[mu.end:b]
            variants.append((i + 1, v.replace("\n", " ")))
            sch.ids[i] = i + 1
            sch.kind[i + 1] = kind
            sch.lines[i + 1] = (first, first + original.count("\n"))
        if kind == "statement":
            parts = [(f"if ({ID} == {k}) {{ ", v, " }") for k, v in variants]
            head, joiner, tail = "{ ", " else ", f" else {{ {original} }} }}"
        elif kind == "condition":
            parts = [(f"{ID} == {k} ? static_cast<bool>(", v, ") : ") for k, v in variants]
            head, joiner, tail = "(", "", f"static_cast<bool>({original}))"
        elif kind == "step":
            parts = [(f"{ID} == {k} ? (void)(", v, ") : ") for k, v in variants]
            head, joiner, tail = " ", "", f"(void)({original})"
        else:
            parts = [(f"{ID} == {k} ? (", v, ") : ") for k, v in variants]
            head, joiner, tail = " (", "", f"({original}))"
        emit(text[last:a])
        # GCC counts columns from 1; each variant's columns on the site's first line.
        col = 1 + column[0] + len(head)
        new = head
        for n, ((pre, v, post), (k, _)) in enumerate(zip(parts, variants)):
            if n:
                new += joiner
                col += len(joiner)
            col += len(pre)
            sch.cols[k] = (first, col, col + len(v))
            col += len(v) + len(post)
            new += pre + v + post
        emit(new + tail)
        last = b
    emit(text[last:])
    sch.text = _with_prologue("".join(pieces), masked)
    return sch


def _with_prologue(body, masked):
    """The switch's definition after the includes, then #line so that numbering continues."""
    lines = masked.split("\n")
    after = 0
    for no, line in enumerate(lines, start=1):
        stripped = line.strip()
        if stripped.startswith("#"):
            after = no
            continue
        if stripped:
            break
    out = body.split("\n")
    return "\n".join(out[:after] + [PROLOGUE + f"#line {after + 1}"] + out[after:])
