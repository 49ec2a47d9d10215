#!/usr/bin/env python3
"""Worst-case stack bound of the firmware image.

Frames come from the compiler's call-graph files (-fcallgraph-info=su: each function's own
stack use); functions the compiler did not describe (the C library, the run-time helpers) get
their frame from their prologue in the image. Calls come from the disassembly of the image:
every bl/b.w to another function, and every blx/bx through a register, which is an indirect
call whose possible targets the bounds file lists as parameter lists of address-taken
functions. Recursion is refused, except through the functions the bounds file declares
non-nesting (a screen change): inside one, calling it again is not a path, and the rule's
premise - only paints are delivered while one runs - is checked in the image.

The bound is: the deepest path from the reset handler, plus the exception frame, plus the
deepest interrupt handler (all handlers share one priority, so they do not nest; checked).
Prints the bound and its path; exits 1 above the limit or when the image has a call the bounds
file does not account for."""

import argparse
import collections
import re
import subprocess
import sys
from pathlib import Path


def fail(message):
    print(f"stack-gate: {message}", file=sys.stderr)
    sys.exit(1)


def run(command):
    try:
        return subprocess.run(command, check=True, capture_output=True, text=True).stdout
    except (OSError, subprocess.CalledProcessError) as error:
        fail(f"{' '.join(command)}: {error}")


class Image:
    def __init__(self, elf, tools):
        self.functions = {}  # address -> (name, size)
        for line in run([tools + "nm", "-S", "--defined-only", elf]).splitlines():
            parts = line.split()
            if len(parts) == 4 and parts[2] in "Tt":
                address, size = int(parts[0], 16), int(parts[1], 16)
                self.functions[address & ~1] = (parts[3], size)
        self.by_name = {name: address for address, (name, _) in self.functions.items()}
        names = sorted(self.by_name)
        out = subprocess.run([tools + "c++filt"], input="\n".join(names), capture_output=True,
                             text=True, check=True).stdout.splitlines()
        # Braces instead of parentheses, so that the parameter list is the first "(".
        self.pretty = {n: p.replace("(anonymous namespace)", "{anonymous}")
                       for n, p in zip(names, out)}
        self.code = collections.defaultdict(list)  # name -> [(address, mnemonic, operands)]
        current = None
        for line in run([tools + "objdump", "-d", "--no-show-raw-insn", elf]).splitlines():
            header = re.match(r"^([0-9a-f]+) <(.+)>:$", line)
            if header:
                current = header.group(2)
                continue
            m = re.match(r"^\s+([0-9a-f]+):\t(\S+)\t?(.*)$", line)
            if m and current is not None:
                self.code[current].append((int(m.group(1), 16), m.group(2), m.group(3)))
        self.words = self._words(elf, tools)
        self.values = set(self.words.values())
        self.data_symbols = {}
        for line in run([tools + "nm", "--defined-only", elf]).splitlines():
            parts = line.split()
            if len(parts) == 3 and parts[1] in "DdBbRr":
                self.data_symbols[int(parts[0], 16)] = parts[2]

    def variable_called(self, code, index):
        """The variable an indirect call at code[index] loads its target from, if any:
        ldr rA, [pc, #n] (the variable's address); ldr rB, [rA, #0]; ... blx rB."""
        register = code[index][2].strip()
        loaded_from = None
        for _, mnemonic, operands in reversed(code[max(0, index - 8):index]):
            if loaded_from is None:
                m = re.match(rf"{register}, \[(r\d+), #0\]$|{register}, \[(r\d+)\]$", operands)
                if mnemonic.startswith("ldr") and m:
                    loaded_from = m.group(1) or m.group(2)
            else:
                m = re.match(rf"{loaded_from}, \[pc, #\d+\]\s+@ \(([0-9a-f]+) ", operands)
                if mnemonic.startswith("ldr") and m:
                    address = self.words.get(int(m.group(1), 16))
                    return self.data_symbols.get(address)
                if operands.startswith(loaded_from + ","):
                    return None
        return None

    @staticmethod
    def _words(elf, tools):
        # Every aligned word of the loaded sections: addresses of functions stored in tables,
        # variables and literal pools.
        words = {}
        dump = run([tools + "objdump", "-s", "-j", ".text", "-j", ".data", "-j", ".rodata", elf])
        for line in dump.splitlines():
            m = re.match(r"^ ([0-9a-f]{4,8}) ((?:[0-9a-f]{2,8} ?){1,4})", line)
            if not m:
                continue
            base = int(m.group(1), 16)
            if base % 4:
                continue
            for offset, chunk in enumerate(m.group(2).split()):
                if len(chunk) == 8:
                    words[base + 4 * offset] = int.from_bytes(bytes.fromhex(chunk), "little")
        return words

    def parameters(self, name):
        pretty = self.pretty.get(name, name)
        start = pretty.find("(")
        if start < 0:
            return "()"  # C symbols: the bounds file names them
        depth = 0
        for i in range(start, len(pretty)):
            depth += {"(": 1, ")": -1}.get(pretty[i], 0)
            if depth == 0:
                return pretty[start:i + 1]
        return pretty[start:]


BRANCHES = {"b", "beq", "bne", "bcs", "bcc", "bhi", "bls", "bge", "blt", "bgt", "ble", "bmi", "bpl",
            "bvs", "bvc", "bhs", "blo", "cbz", "cbnz"}


def prologue_frame(code):
    """Stack a function's prologue reserves: pushed registers and sp decrements."""
    frame = 0
    for _, mnemonic, operands in code[:8]:
        if (mnemonic in ("push", "push.w") or (mnemonic.startswith("stmdb") and
                                                operands.startswith("sp!"))) and "{" in operands:
            frame += 4 * len(operands[operands.index("{") + 1:operands.index("}")].split(","))
        elif mnemonic in ("sub", "sub.w", "subw") and operands.startswith("sp, "):
            m = re.search(r"#(\d+)", operands)
            if m:
                frame += int(m.group(1))
        elif mnemonic in ("bl", "b", "b.w", "bx", "blx"):
            break
    return frame


def split_declaration(text):
    """(qualified name, parameter count or None) of a declaration or demangled name."""
    text = re.sub(r" \[clone [^\]]*\]", "", text).strip()
    text = text.replace("(anonymous namespace)", "{anonymous}")
    if text.endswith(" const"):
        text = text[:-len(" const")]
    if not text.endswith(")"):
        return text.split()[-1] if text else text, None
    depth = 0
    for i in range(len(text) - 1, -1, -1):
        depth += {")": 1, "(": -1}.get(text[i], 0)
        if depth == 0:
            break
    parameters, head = text[i + 1:-1].strip(), text[:i]
    name = head.split(" ")[-1] if " " in head and not head.endswith(">") else head
    # A return type may precede the name ("void f(int)"); the name is the last word.
    name = name.rsplit(" ", 1)[-1]
    if parameters in ("", "void"):
        return name, 0
    count, depth = 1, 0
    for c in parameters:
        depth += {"(": 1, "<": 1, "[": 1, ")": -1, ">": -1, "]": -1}.get(c, 0)
        count += c == "," and depth == 0
    return name, count


def read_stack_usage(directory):
    """Frames from the compiler's .su files, by (name, parameter count); the largest when
    overloads share both. Also the names whose frame is not static."""
    frames, dynamic = {}, set()
    files = list(Path(directory).rglob("*.su"))
    if not files:
        fail(f"no .su files under {directory}: is the firmware compiled with -fstack-usage?")
    for path in files:
        for line in path.read_text().splitlines():
            m = re.match(r"^.*?:\d+:\d+:(.*)\t(\d+)\t(\S+)$", line)
            if not m:
                continue
            key = split_declaration(m.group(1))
            frames[key] = max(frames.get(key, 0), int(m.group(2)))
            frames[(key[0], None)] = max(frames.get((key[0], None), 0), int(m.group(2)))
            if m.group(3) != "static":
                dynamic.add(key)
    return frames, dynamic


def read_bounds(path):
    """See the bounds file's head for its lines."""
    indirect, non_nesting, guarded, not_during, defines = [], [], [], [], {}
    for number, raw in enumerate(Path(path).read_text().splitlines(), 1):
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        if line.startswith("define "):
            name, _, value = line[len("define "):].partition("=")
            defines[name.strip()] = value.strip()
            continue
        if line.startswith("non-nesting:"):
            non_nesting.append(line.split(":", 1)[1].split())
            continue
        if line.startswith("not-during:"):
            not_during.append(line.split(":", 1)[1].split())
            continue
        if line.startswith("guarded:"):
            guarded.append(line.split(":", 1)[1].strip())
            continue
        key, separator, value = line.rpartition(": ")
        if key.startswith("variable "):
            key = "^=" + re.escape(key[len("variable "):].strip()) + "$"
        if not separator:
            fail(f"{path}:{number}: expected CALLER-REGEX: TARGETS")
        for _ in range(4):
            value = re.sub(r"@(\w+)", lambda m: defines.get(m.group(1)) or
                           fail(f"{path}:{number}: no define {m.group(1)}"), value)
        targets = [t.strip() for t in value.split("|") if t.strip()]
        indirect.append((re.compile(key.strip()), targets, number))
    return indirect, non_nesting, guarded, not_during


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--elf", required=True)
    parser.add_argument("--frames", required=True, help="directory of the .su files")
    parser.add_argument("--bounds", required=True)
    parser.add_argument("--limit", type=int, default=2048)
    parser.add_argument("--tools", default="arm-none-eabi-")
    args = parser.parse_args()

    image = Image(args.elf, args.tools)
    su_frames, dynamic = read_stack_usage(args.frames)
    indirect_rules, non_nesting, guarded, not_during = read_bounds(args.bounds)
    settings = {}
    problems = []

    frames = {}
    for name in image.code:
        key = split_declaration(image.pretty.get(name, name))
        if name in image.by_name and not image.pretty.get(name, name).startswith("("):
            found = su_frames.get(key)
            if found is None and key[1] is None:
                found = su_frames.get((key[0], None))
            if found is not None:
                frames[name] = found
                if key in dynamic:
                    problems.append(f"{image.pretty.get(name, name)} has a frame of dynamic size")
                # The prologue reader checks itself against the compiler where both exist.
                prologue = prologue_frame(image.code[name])
                if prologue > found:
                    problems.append(f"{image.pretty.get(name, name)}: prologue reserves {prologue} "
                                    f"bytes, the compiler reports {found}")

    address_taken = [name for address, (name, _) in image.functions.items()
                     if (address | 1) in image.values]
    by_parameters = collections.defaultdict(set)
    for name in address_taken:
        by_parameters[image.parameters(name)].add(name)

    def frame(name):
        if name in frames:
            return frames[name], "listed"
        return prologue_frame(image.code.get(name, [])), "prologue"

    def target_at(address):
        return image.functions.get(address & ~1, (None,))[0]

    edges = collections.defaultdict(set)
    tails = collections.defaultdict(set)  # calls made after the caller's frame is gone
    sites = {}  # (caller, address) -> targets of an indirect call
    used_rules = set()
    for name, code in image.code.items():
        if name not in image.by_name:
            continue
        for address, mnemonic, operands in code:
            base = mnemonic.split(".")[0]
            m = re.search(r"([0-9a-f]+) <", operands)
            if m and (base == "bl" or base in BRANCHES):
                target = target_at(int(m.group(1), 16))
                if target is not None and target != name:
                    edges[name].add(target)
                    if base != "bl":
                        tails[name].add(target)
                    if base == "bl":
                        sites[(name, address)] = {target}
            elif base in ("blx", "bx") and re.fullmatch(r"r\d+|ip", operands.strip()):
                pretty = image.pretty.get(name, name)
                tail = base == "bx"
                variable = image.variable_called(code, code.index((address, mnemonic, operands)))
                subject = [f"={variable}"] if variable else []
                for pattern, targets, number in indirect_rules:
                    if any(pattern.search(x) for x in subject) or (
                            not pattern.pattern.startswith("^=") and pattern.search(pretty)):
                        used_rules.add(number)
                        for target in targets:
                            if target == "none":
                                continue
                            if target.startswith("("):
                                found = by_parameters.get(target, set())
                            elif target.startswith("/") and target.endswith("/"):
                                pattern_t = re.compile(target[1:-1])
                                found = {n for n in address_taken
                                         if pattern_t.search(image.pretty.get(n, n).split("(")[0])}
                            else:
                                found = {n for n in address_taken
                                         if image.pretty.get(n, n).split("(")[0] == target}
                            if not found:
                                problems.append(f"bounds line {number}: no address-taken function "
                                                f"matches {target}")
                            edges[name] |= found
                            if tail:
                                tails[name] |= found
                            sites[(name, address)] = sites.get((name, address), set()) | found
                        break
                else:
                    problems.append(f"indirect call in {pretty} at {address:#x}: list its "
                                    f"possible targets in {args.bounds}")
    for pattern, _, number in indirect_rules:
        # Entry-point variables may stand unused; a caller line that matches nothing is stale.
        if number not in used_rules and not pattern.pattern.startswith("^="):
            print(f"stack-gate: note: bounds line {number} ({pattern.pattern}) matches no "
                  f"indirect call", file=sys.stderr)

    def constant_before(code, index, register):
        """The immediate the last instruction before code[index] writing register loads, or None."""
        for _, mnemonic, operands in reversed(code[max(0, index - 10):index]):
            if operands.startswith(register + ",") and not mnemonic.startswith(("str", "cmp", "tst")):
                if mnemonic.startswith("mov") and "#" in operands:
                    return int(operands.split("#")[1].split()[0], 0)
                return None
        return None

    def calls_through(variable):
        for (caller, address) in list(sites):
            code = image.code[caller]
            i = next(k for k, (a, _, _) in enumerate(code) if a == address)
            if image.variable_called(code, i) == variable:
                yield caller, address, code, i

    # Non-nesting functions: every call inside one to the message delivery passes the paint
    # message only (the instruction before the call loads r0 with it).
    nesting_names = set()
    for rule in non_nesting:
        if len(rule) != 4:
            fail(f"non-nesting wants OUTER DELIVERY MESSAGE UNFILTERED, got {' '.join(rule)}")
        outer, delivery, message, unfiltered = rule
        symbols = {}
        for wanted in (outer, unfiltered):
            symbols[wanted] = next((n for n in image.by_name
                                    if image.pretty.get(n, n).split("(")[0] == wanted), None)
            if symbols[wanted] is None:
                fail(f"non-nesting rule names {wanted}, which the image lacks")
        nesting_names.add(symbols[outer])
        # Every call of the filtered delivery, anywhere, passes the one message.
        checked = 0
        for caller, address, code, i in calls_through(delivery):
            checked += 1
            if constant_before(code, i, "r0") != int(message, 0):
                problems.append(f"{image.pretty.get(caller, caller)} calls {delivery} at "
                                f"{address:#x} with a message other than {message}: screen "
                                f"changes could nest")
        if checked == 0:
            problems.append(f"no call through {delivery} found: the non-nesting rule is stale")
        # And nothing reachable from the outer function delivers every message.
        seen, todo = set(), [symbols[outer]]
        while todo:
            current = todo.pop()
            if current in seen:
                continue
            seen.add(current)
            todo += [c for c in edges.get(current, ()) if c != symbols[outer]]
        if symbols[unfiltered] in seen:
            problems.append(f"{unfiltered} is reachable from {outer}: screen changes could nest")
    # Functions that only messages for no widget reach, which are never the delivered message:
    # within OUTER they are not called.
    excluded = collections.defaultdict(set)
    for rule in not_during:
        if len(rule) != 3 or not non_nesting:
            fail(f"not-during wants OUTER NAME QUEUE-VARIABLE after a non-nesting rule")
        outer, excluded_name, queue = rule
        message = int(next(r for r in non_nesting if r[0] == outer)[2], 0)
        symbol = next((n for n in image.by_name
                       if image.pretty.get(n, n).split("(")[0] == excluded_name), None)
        outer_symbol = next((n for n in image.by_name
                             if image.pretty.get(n, n).split("(")[0] == outer), None)
        if symbol is None or outer_symbol is None:
            fail(f"not-during rule names {outer} / {excluded_name}, which the image lacks")
        excluded[outer_symbol].add(symbol)
        checked = 0
        for caller, address, code, i in calls_through(queue):
            checked += 1
            if constant_before(code, i, "r0") == 0 and constant_before(code, i, "r1") in (None, message):
                problems.append(f"{image.pretty.get(caller, caller)} queues message "
                                f"{constant_before(code, i, 'r1')} for no widget at {address:#x}: "
                                f"{excluded_name} could run during {outer}")
        if checked == 0:
            problems.append(f"no call through {queue} found: the not-during rule is stale")

    guarded_names = {n for n in image.by_name if image.pretty.get(n, n).split("(")[0] in guarded}
    if len(guarded_names) != len(guarded):
        fail(f"guarded functions missing from the image: {guarded}")

    # Deepest path, memoised on (function, inside a non-nesting function).
    memo = {}
    active = []

    def deepest(name, inside, running=frozenset()):
        """(bytes, path) of the deepest stack from entering name; inside: a screen change runs;
        running: the guarded functions active on the way here."""
        if name in running:
            return (frame(name)[0], [name])  # the inner entry returns at once
        if name in guarded_names:
            running = running | {name}
        key = (name, inside, running)
        if key in memo:
            return memo[key]
        if key in active:
            problems.append(f"recursion through {image.pretty.get(name, name)}")
            return (0, [name])
        active.append(key)
        own, _ = frame(name)
        best = (own, [name])
        for callee in sorted(edges.get(name, ())):
            if inside and any(callee in names for names in excluded.values()):
                continue
            now_inside = inside
            if callee in nesting_names:
                if inside:
                    continue  # a screen change is not entered again during one
                now_inside = True
            depth, path = deepest(callee, now_inside, running)
            # A tail call runs after the caller's frame is released.
            total = depth if callee in tails[name] and not is_also_called(name, callee) else own + depth
            if total > best[0]:
                best = (total, [name] + path)
        active.pop()
        memo[key] = best
        return best

    def is_also_called(name, callee):
        return any(callee in targets and image_mnemonic.get((caller, address)) in ("bl", "blx")
                   for (caller, address), targets in sites.items() if caller == name)

    image_mnemonic = {(n, a): mn.split(".")[0] for n, code in image.code.items()
                      for a, mn, _ in code}

    vector = "g_pfnVectors"
    if vector not in image.by_name and vector not in image.code:
        fail(f"no vector table {vector} in the image")
    # The vector table's words: entry 1 is the reset handler, entries 2.. the exceptions.
    table_start = image.by_name.get(vector) or next(
        a for a, (n, _) in image.functions.items() if n == vector)
    entries = []
    dump = run([args.tools + "objdump", "-s", "--start-address", hex(table_start),
                "--stop-address", hex(table_start + image.functions[table_start][1]), args.elf])
    # Only the table's own section: sections that are not loaded (debug information) start at
    # address 0 and would show their bytes at the same offsets.
    sections_seen = 0
    for line in dump.splitlines():
        if line.startswith("Contents of section "):
            sections_seen += 1
            continue
        if sections_seen != 1:
            continue
        m = re.match(r"^ ([0-9a-f]{4,8}) ((?:[0-9a-f]{2,8} ?){1,4})", line)
        if m:
            entries += [int.from_bytes(bytes.fromhex(c), "little") for c in m.group(2).split()
                        if len(c) == 8]
    reset = target_at(entries[1])
    handlers = sorted({target_at(e) for e in entries[2:] if e and target_at(e)} - {reset})
    if reset is None:
        fail("the vector table has no reset handler")

    main_depth, main_path = deepest(reset, False)
    handler_results = [(deepest(h, False), h) for h in handlers]
    (handler_depth, handler_path), _ = max(handler_results, key=lambda r: r[0][0])
    # The processor pushes eight registers, plus a word to align the stack to 8 bytes.
    exception = 36
    # Handlers share one priority unless something sets priorities: then they could nest.
    if any("IntPrioritySet" in image.pretty.get(n, n) for n in image.code):
        problems.append("interrupt priorities are set: handlers may nest, which this bound ignores")

    def show(path):
        return " -> ".join(f"{image.pretty.get(n, n).split('(')[0]} {frame(n)[0]}" for n in path)

    total = main_depth + exception + handler_depth
    print(f"stack-gate: main loop {main_depth} bytes: {show(main_path)}")
    print(f"stack-gate: exception frame {exception} bytes")
    print(f"stack-gate: deepest interrupt {handler_depth} bytes: {show(handler_path)}")
    unlisted = sorted({image.pretty.get(n, n).split("(")[0] for n in set(main_path + handler_path)
                       if n not in frames})
    if unlisted:
        print(f"stack-gate: frames read from the prologue: {', '.join(unlisted)}")
    reachable, todo = set(), [reset] + handlers
    while todo:
        current = todo.pop()
        if current not in reachable:
            reachable.add(current)
            todo += list(edges.get(current, ()))
    fallback = sorted(image.pretty.get(n, n).split("(")[0] for n in reachable if n not in frames)
    print(f"stack-gate: {len(reachable)} functions reachable; frames read from the prologue "
          f"(none reported by the compiler): {', '.join(fallback)}")
    print(f"stack-gate: worst-case stack {total} bytes (limit {args.limit})")
    for problem in sorted(set(problems)):
        print(f"stack-gate: error: {problem}", file=sys.stderr)
    if problems:
        return 1
    if total > args.limit:
        print(f"stack-gate: error: {total} bytes exceed the limit of {args.limit}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
