#!/usr/bin/env python3
"""projgen refuses bad descriptions: each case below changes one thing in a small valid project;
projgen must answer with exactly one line FILE:LINE: what is wrong on standard error, exit status 2,
and write nothing. The valid project itself must generate (so that a refusal is the case's doing),
and so must a few edits that use what neither committed project does; their sources must compile
(with CXX against the firmware's headers in SOURCE_ROOT, when given).

    bad_descriptions.py PROJGEN WORKDIR [CXX SOURCE_ROOT]
"""
import os
import re
import shutil
import subprocess
import sys

BASE = '''[project]
sources = "project"

[device]
slave = 3
serial = "COM0,57600,N,8,1"
first = 98
count = 4
registers = [
    { address = 98, tool = "LAMP", role = "output" },
    { address = 99, tool = "LEVEL", role = "analogue", period = 5.0 },
    { address = 100, tool = "DOOR", role = "digital_input", period = 2.0 },
    { address = 101, tool = "RUN", role = "output" },
]

[[variable]]
name = "counter"
initial = 5

[pictures]
mark = { png = "mark.png", format = 0x84 }

[kind.nav]
class = "push_button"
style = ["outline", "fill", "text"]
font = "cm12"

[kind.value]
class = "label"
style = ["outline", "fill", "text"]
font = "cm14"
text = "0"

[[screen]]
number = 1
name = "Frame1"
paint = 11
vector = [
    { rect = [0, 0, 319, 30], colour = 0x204060 },
    { picture = 5, image = "mark", at = [290, 2] },
    { text = "TEST", at = [10, 8], colour = 0xFFFFFF, font = "cm14b" },
]
widgets = [
    { kind = "nav", number = 10, at = [10, 200, 89, 229], text = "NEXT", goto = "Frame2" },
    { kind = "value", number = 11, at = [10, 40, 59, 64], variable = "Dev_1_AO1" },
    { class = "check_box", number = 12, at = [10, 80, 99, 104], style = ["outline", "text"], box_size = 12, font = "cm14", text = "RUN", variable = "Dev_1_AO3" },
]

[[screen]]
number = 2
name = "Frame2"
paint = 22
widgets = [
    { kind = "nav", number = 20, at = [10, 200, 89, 229], text = "BACK", goto = "Frame1" },
]
'''

SHOWN = ['Dev_1_AO0', 'Dev_1_AO1', 'Dev_1_AO2', 'Dev_1_AO3', 'Dev_1_ENABLE_AO', 'Dev_1_R_ACTION',
         'Dev_1_W_ACTION', 'Dev_1_ERROR', 'Dev_1_ENABLE_DEVICE', 'Dev_1_ADDR_BASE', 'counter', 'a1',
         'a2', 'a3']
FOURTEEN_LABELS = ''.join(
    f'    {{ kind = "value", number = {40 + i}, at = [{100 + 15 * (i % 7)}, {40 + 30 * (i // 7)}, '
    f'{113 + 15 * (i % 7)}, {64 + 30 * (i // 7)}], variable = "{variable}" }},\n'
    for i, variable in enumerate(SHOWN))
THREE_MORE = ''.join(f'[[variable]]\nname = "a{i}"\n\n' for i in (1, 2, 3))

# (what is wrong, the text replaced and its replacement (or a list of such pairs), the text of
# the line reported, the message: exact, ending in '...' its beginning, 're:' a pattern whose first
# group is a text's width, None any)
CASES = [
    ('an unknown key in [device]', 'count = 4\n', 'count = 4\nspeed = 9600\n', 'speed',
     "unknown key 'speed' in [device]"),
    ('an unknown key in a widget', 'text = "NEXT",', 'text = "NEXT", colour = 0xFF0000,',
     'number = 10', "unknown key 'colour' in push_button 10"),
    ('an unknown widget class', 'class = "check_box"', 'class = "slider"', 'slider',
     "unknown widget class 'slider' (push_button, label, check_box)"),
    ('an unknown kind', 'kind = "nav", number = 20', 'kind = "navigation", number = 20',
     'number = 20', "no kind 'navigation' in [kind]"),
    ('an unknown style bit', 'style = ["outline", "text"]', 'style = ["outline", "bold"]',
     'number = 12', "unknown style 'bold' of a check_box (outline, fill, text, image, "
     "text_opaque, app_drawn)"),
    ('a widget outside the screen', 'at = [10, 40, 59, 64]', 'at = [290, 40, 339, 64]',
     'number = 11', 'label 11 at (290, 40)-(339, 64) is not inside the 320 x 240 screen'),
    ('a text wider than its button', 'text = "NEXT"', 'text = "NEXT SCREEN PLEASE"',
     'number = 10', r're:the text "NEXT SCREEN PLEASE" of push_button 10 is (\d+) pixels wide '
     r'in cm12, and the widget has room for 78$'),
    ('a text wider than its label', 'variable = "Dev_1_AO1" }',
     'variable = "Dev_1_AO1", text = "0000000" }', 'number = 11',
     r're:the text "0000000" of label 11 is (\d+) pixels wide in cm14, and the widget has room '
     r'for 48$'),
    ('a text wider than its check box', 'text = "RUN"', 'text = "RUNNING NOW"', 'number = 12',
     r're:the text "RUNNING NOW" of check_box 12 is (\d+) pixels wide in cm14, and the widget '
     r'has room for 73$'),
    ('an unknown font', 'font = "cm14b"', 'font = "cm16"', 'cm16',
     "unknown font 'cm16' in a text (cm12, cm14 or cm14b)"),
    ('an unknown picture file', '"mark.png"', '"missing.png"', 'missing.png',
     "picture file 'missing.png' cannot be read: ..."),
    ('a drawing of a picture that is not described', 'image = "mark"', 'image = "logo"',
     'picture = 5', "no picture 'logo' in [pictures]"),
    ('a binding to a missing variable', 'variable = "Dev_1_AO1"', 'variable = "Dev_1_AO7"',
     'Dev_1_AO7', "label 11 names the variable 'Dev_1_AO7', which does not exist"),
    ('a register outside the device\'s block', 'address = 101', 'address = 102', 'address = 102',
     "register 102 is outside the device's block 98-101"),
    ('a register described twice', 'address = 100', 'address = 99', 'address = 99, tool = "DOOR"',
     'register 99 is described twice (first on line 11)'),
    ('a register of the block left out', '    { address = 101, tool = "RUN", role = "output" },\n',
     '', 'registers = [', 'register 101 of the block 98-101 is not described'),
    ('a tool name used twice (in another case)', 'tool = "RUN"', 'tool = "lamp"', 'tool = "lamp"',
     "tool name 'lamp' is used twice (first on line 10)"),
    ('a tool name that is another register\'s variable', 'tool = "RUN"', 'tool = "dev_1_ao0"',
     'dev_1_ao0', "tool name 'dev_1_ao0' is the variable name of register 98"),
    ('a widget number used twice', 'number = 20', 'number = 11', 'number = 11, at = [10, 200',
     'widget number 11 is used twice (Label11 on line {line:number = 11, at = [10, 40})'),
    ('a frame name used twice', 'name = "Frame2"', 'name = "Frame1"', 'name = "Frame1"\npaint = 22',
     "frame name 'Frame1' is used twice (screen 1)"),
    ('a paint number used twice', 'paint = 22', 'paint = 11', 'paint = 11\nwidgets',
     'paint number 11 is used twice (screen 1)'),
    ('screens out of order', 'number = 2\nname = "Frame2"', 'number = 3\nname = "Frame2"',
     'number = 3', 'screen 3 where screen 2 is due: screens are numbered 1, 2, ... in order'),
    ('navigation to a missing screen', 'goto = "Frame1"', 'goto = "Frame3"', 'Frame3',
     "TextPushButton20 goes to the frame 'Frame3', which no screen is"),
    ('more labels than the message queue takes',
     [('text = "BACK", goto = "Frame1" },\n', 'text = "BACK", goto = "Frame1" },\n' +
       FOURTEEN_LABELS), ('[pictures]', THREE_MORE + '[pictures]')], '[[screen]]\nnumber = 2',
     'screen 2 shows 14 labels: with a touch, one control cycle\'s paints would overflow the '
     '15-entry message queue (at most 13)'),
    ('a register block larger than the master\'s frames', 'count = 4', 'count = 124', 'count',
     'a block of 124 registers: the Modbus master\'s 256-byte frames carry at most 123 in a '
     'write'),
    ('an answer slower than the time-out', '57600', '300', 'serial =',
     'the answer of 4 registers takes 433 ms at 300 baud: the panel gives up after 200 ms'),
    ('serial settings with 7 data bits', 'N,8,1', 'N,7,1', 'serial',
     'serial "COM0,57600,N,7,1": Modbus RTU needs 8 data bits, not \'7\''),
    ('serial settings with a lower-case parity', 'N,8,1', 'e,8,1', 'serial',
     'serial "COM0,57600,e,8,1": the parity must be N, E, O, M or S (other letters are read as '
     'N), not \'e\''),
    ('serial settings with an empty field', 'COM0,57600,N', 'COM0,57600,', 'serial',
     'serial "COM0,57600,,8,1": an empty field moves the later ones up (the serial layer '
     'skips it)'),
    ('serial settings longer than the layer takes', 'COM0,57600', 'COM0000,00000057600',
     'serial', 'serial "COM0000,00000057600,N,8,1": the serial layer takes at most 23 '
     'characters'),
    ('a variable shown on two screens', 'text = "BACK", goto = "Frame1" },\n',
     'text = "BACK", goto = "Frame1" },\n    { kind = "value", number = 21, at = [10, 40, 59, 64],'
     ' variable = "Dev_1_AO1" },\n', 'number = 21',
     'Dev_1_AO1 is shown on screen 1 already (its display_Dev_1_AO1 belongs to one screen)'),
    ('a check box without its variable', ', variable = "Dev_1_AO3" }', ' }', 'number = 12',
     'check_box 12 needs the \'variable\' it switches'),
    ('a picture number standing for two pictures',
     [('mark = {', 'mark2 = { png = "mark.png", format = 0x81 }\nmark = {'),
      ('{ text = "TEST"', '{ picture = 5, image = "mark2", at = [0, 2] },\n    { text = "TEST"')],
     'at = [0, 2]', 'picture number 5 stands for mark on line {line:at = [290, 2]}'),
    ('a variable with a name of the generator\'s', 'name = "counter"', 'name = "Dev_1_ERROR"',
     'Dev_1_ERROR', "variable name 'Dev_1_ERROR' is reserved (Dev_1_... and __... are the "
     "generator's)"),
    ('a TOML syntax error', 'slave = 3', 'slave = = 3', 'slave', None),
]


def line_of(text, needle):
    at = text.index(needle)
    return text.count('\n', 0, at) + 1


def write_mark(folder):
    # A 4 x 4 PNG (two colours), written without a library.
    import struct
    import zlib
    rows = b''.join(b'\x00' + bytes([255, 255, 255, 0, 0, 0] * 2) for _ in range(4))
    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data +
                struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))
    png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 4, 4, 8, 2, 0, 0, 0)) +
           chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))
    with open(os.path.join(folder, 'mark.png'), 'wb') as f:
        f.write(png)


def run(projgen, folder, text):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    write_mark(folder)
    path = os.path.join(folder, 'project.toml')
    with open(path, 'w') as f:
        f.write(text)
    result = subprocess.run([projgen, path, '--out', os.path.join(folder, 'out')],
                            capture_output=True, text=True)
    return path, result


def main():
    projgen, work = sys.argv[1], sys.argv[2]
    failures = []
    path, result = run(projgen, os.path.join(work, 'valid'), BASE)
    if result.returncode != 0 or not os.path.exists(os.path.join(work, 'valid', 'out', 'project',
                                                                 '_frame2.cpp')):
        print(f'the valid description does not generate: {result.returncode} {result.stderr}')
        return 1
    # Edits the generator must accept, beside the refusals: the same picture under one number
    # on two screens, a hand-drawn check box's own name as its never-drawn text.
    accepted = [
        ('the same picture twice under one number', [('paint = 22\n', 'paint = 22\nvector = '
         '[{ picture = 5, image = "mark", at = [0, 0] }]\n')]),
        ('buttons with images, auto-repeat and a write on the press, labels of a text or an '
         'image, a screen that draws nothing', [(
             'text = "BACK", goto = "Frame1" },\n',
             'text = "BACK", goto = "Frame1" },\n'
             '    { class = "push_button", number = 21, at = [100, 200, 189, 229], style = '
             '["outline", "fill", "image"], image = "mark", pressed_image = "mark" },\n'
             '    { class = "push_button", number = 22, at = [200, 200, 289, 229], style = '
             '["fill", "text", "auto_repeat"], font = "cm14", text = "+", repeat_delay = 5, '
             'repeat_rate = 2, press = { write = "counter", value = 7 } },\n'
             '    { class = "label", number = 23, at = [10, 40, 109, 64], style = ["fill", '
             '"text", "text_right"], font = "cm12", text = "a \\"quoted\\" text" },\n'
             '    { class = "label", number = 24, at = [120, 40, 159, 64], style = ["image"], '
             'image = "mark" },\n')]),
    ]
    compiled = 0
    for number, (what, edits) in enumerate(accepted, 1):
        text = BASE
        for old, new in edits:
            text = text.replace(old, new)
        folder = os.path.join(work, f'accepted{number}')
        path, result = run(projgen, folder, text)
        if result.returncode != 0:
            failures.append(f'{what}: refused: {result.stderr.strip()}')
            continue
        if len(sys.argv) > 4:
            cxx, root = sys.argv[3], sys.argv[4]
            out = os.path.join(folder, 'out')
            shutil.copy(os.path.join(root, 'firmware', 'project', 'screen_kit.hpp'),
                        os.path.join(out, 'project'))
            for name in sorted(os.listdir(os.path.join(out, 'project'))):
                if name.endswith('.cpp'):
                    built = subprocess.run(
                        [cxx, '-std=c++20', '-fsyntax-only', '-Wall', '-Wextra', '-Werror', '-I',
                         out, '-I', os.path.join(root, 'firmware'), '-I',
                         os.path.join(root, 'firmware', 'platform', 'host'),
                         os.path.join(out, 'project', name)], capture_output=True, text=True)
                    compiled += 1
                    if built.returncode != 0:
                        failures.append(f'{what}: {name} does not compile:\n{built.stderr[:2000]}')
    refused = 0
    for number, (what, *rest) in enumerate(CASES, 1):
        if len(rest) == 4:
            old, new, reported, message = rest
            edits = [(old, new)]
        else:
            edits, reported, message = rest
        text = BASE
        applies = True
        for old, new in edits:
            applies = applies and text.count(old) == 1
            text = text.replace(old, new)
        if not applies:
            failures.append(f'case {number} ({what}): its edit does not apply')
            continue
        folder = os.path.join(work, f'case{number}')
        path, result = run(projgen, folder, text)
        lines = result.stderr.splitlines()
        wrote = os.path.exists(os.path.join(folder, 'out'))
        if result.returncode != 2 or len(lines) != 1 or wrote or result.stdout:
            failures.append(f'case {number} ({what}): exit {result.returncode}, '
                            f'{len(lines)} lines {lines!r}, wrote {wrote}, out {result.stdout!r}')
            continue
        expected = f'{path}:{line_of(text, reported)}: '
        if message is not None:
            message = re.sub(r'\{line:([^}]*)\}', lambda m: str(line_of(text, m.group(1))),
                             message)
        said = lines[0][len(expected):]
        if message is None:
            right = True
        elif message.startswith('re:'):
            # A text's width: the firmware's fonts measure it; it must exceed the room given.
            found = re.match(message[3:], said)
            right = found is not None and int(found.group(1)) > int(said.rsplit(' ', 1)[1])
        elif message.endswith('...'):
            right = said.startswith(message[:-3])
        else:
            right = said == message
        if not lines[0].startswith(expected) or not right:
            failures.append(f'case {number} ({what}):\n  got      {lines[0]}\n  expected '
                            f'{expected}{message or "..."}')
            continue
        refused += 1
    for failure in failures:
        print(failure)
    print(f'bad_descriptions: {refused} refused as expected, {compiled} generated sources '
          f'compiled, {len(failures)} failures')
    return 1 if failures or refused < 20 else 0


if __name__ == '__main__':
    sys.exit(main())
