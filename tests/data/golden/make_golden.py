#!/usr/bin/env python3
"""Regenerates the golden vectors in this directory, independently of the
library: digests come from python3's hashlib and are checked against
sha1sum, AES blocks and cipher streams from the openssl command line tool,
AES round-key schedules from the key expansion written out below (checked
against the FIPS-197 appendix A words), and the challenge strings from the
generator's recurrence. Every build of the library, on every target, must
reproduce these files byte for byte.

Run from anywhere: python3 tests/data/golden/make_golden.py
"""

import hashlib
import os
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))


def pattern(n, seed=0):
    """Deterministic filler bytes: SHA-1 in counter mode over a seed."""
    out = b""
    block = 0
    while len(out) < n:
        out += hashlib.sha1(b"golden %d %d" % (seed, block)).digest()
        block += 1
    return out[:n]


def sha1(data):
    digest = hashlib.sha1(data).hexdigest()
    checked = subprocess.run(["sha1sum"], input=data, capture_output=True, check=True)
    assert checked.stdout.split()[0].decode() == digest, "hashlib and sha1sum disagree"
    return digest


def openssl_ecb(key, data, pad):
    args = ["openssl", "enc", "-aes-%d-ecb" % (8 * len(key)), "-K", key.hex()]
    if not pad:
        args.append("-nopad")
    return subprocess.run(args, input=data, capture_output=True, check=True).stdout


def write(name, header, lines):
    with open(os.path.join(HERE, name), "w") as f:
        for line in header:
            f.write("# " + line + "\n" if line else "#\n")
        for line in lines:
            f.write(line + "\n")


# --- SHA-1 -----------------------------------------------------------------

def sha1_vectors():
    # message text: hex, or hex*count for a run repeated count times.
    messages = [
        ("", 1),
        (b"abc".hex(), 1),
        (b"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq".hex(), 1),
        (b"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmn"
         b"hijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu".hex(), 1),
        ("61", 1000000),
        ("00", 64),
        ("ff", 119),
    ]
    for n in (1, 3, 55, 56, 57, 63, 64, 65, 127, 128, 129, 1000):
        messages.append((pattern(n, n).hex(), 1))
    lines = []
    for hexpart, count in messages:
        message = bytes.fromhex(hexpart) * count
        text = hexpart if count == 1 else "%s*%d" % (hexpart, count)
        lines.append("%s|%s" % (text, sha1(message)))
    write("sha1.txt", [
        "message (hex, or hex*count: that run repeated count times)|SHA-1 digest (hex)",
        "Made by make_golden.py: python3 hashlib, each digest checked against sha1sum.",
    ], lines)


# --- AES blocks and schedules ---------------------------------------------

def aes_vectors():
    fips = [
        ("000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff"),
        ("000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff"),
        ("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "00112233445566778899aabbccddeeff"),
    ]
    expected_fips = ["69c4e0d86a7b0430d8cdb78070b4c55a", "dda97ca4864cdfe06eaf70a0ec0d7191",
                     "8ea2b7ca516745bfeafc49904b496089"]
    cases = [(bytes.fromhex(k), bytes.fromhex(p)) for k, p in fips]
    for i, size in enumerate((16, 24, 32, 16, 24, 32)):
        cases.append((pattern(size, 100 + i), pattern(16, 200 + i)))
    cases.append((bytes(16), bytes(16)))
    cases.append((b"\xff" * 32, b"\xff" * 16))
    lines = []
    for i, (key, plain) in enumerate(cases):
        cipher = openssl_ecb(key, plain, pad=False)
        if i < 3:
            assert cipher.hex() == expected_fips[i], "openssl disagrees with FIPS-197"
        lines.append("%d|%s|%s|%s" % (8 * len(key), key.hex(), plain.hex(), cipher.hex()))
    write("aes_blocks.txt", [
        "key bits|key (hex)|plaintext block (hex)|ciphertext block (hex)",
        "Made by make_golden.py with openssl enc -aes-<bits>-ecb -nopad; the first three",
        "are the examples of FIPS-197 appendix C, the rest filler keys and blocks.",
    ], lines)

    sched_lines = []
    for key in [bytes.fromhex(k) for k, _ in fips] + [pattern(16, 300), pattern(32, 301)]:
        enc = expand_key(key)
        dec = inverse_schedule(enc, len(enc) // 4 - 1)
        sched_lines.append("%d|%s|%s|%s" % (8 * len(key), key.hex(),
                                            " ".join("%08x" % w for w in enc),
                                            " ".join("%08x" % w for w in dec)))
    write("aes_schedules.txt", [
        "key bits|key (hex)|encryption round keys|decryption round keys (words in hex)",
        "Made by make_golden.py: the key expansion of FIPS-197 section 5.2, and for",
        "decryption the equivalent inverse cipher's schedule (round keys in reverse",
        "order, InvMixColumns on all but the first and last). The words are values:",
        "each build keeps them in its own byte order.",
    ], sched_lines)


def xtime(b):
    b <<= 1
    return (b ^ 0x11B) if b & 0x100 else b


def gmul(a, b):
    r = 0
    while b:
        if b & 1:
            r ^= a
        a = xtime(a)
        b >>= 1
    return r


def sbox():
    box = []
    for x in range(256):
        inv = 0 if x == 0 else next(y for y in range(1, 256) if gmul(x, y) == 1)
        s = inv
        for shift in range(1, 5):
            s ^= ((inv << shift) | (inv >> (8 - shift))) & 0xFF
        box.append(s ^ 0x63)
    return box


SBOX = sbox()


def sub_word(w):
    return int.from_bytes(bytes(SBOX[b] for b in w.to_bytes(4, "big")), "big")


def expand_key(key):
    nk = len(key) // 4
    nr = nk + 6
    words = [int.from_bytes(key[4 * i:4 * i + 4], "big") for i in range(nk)]
    rcon = 1
    for i in range(nk, 4 * (nr + 1)):
        t = words[i - 1]
        if i % nk == 0:
            t = sub_word(((t << 8) | (t >> 24)) & 0xFFFFFFFF) ^ (rcon << 24)
            rcon = xtime(rcon)
        elif nk == 8 and i % nk == 4:
            t = sub_word(t)
        words.append(words[i - nk] ^ t)
    return words


def inv_mix_column(w):
    a = w.to_bytes(4, "big")
    m = [(14, 11, 13, 9), (9, 14, 11, 13), (13, 9, 14, 11), (11, 13, 9, 14)]
    out = bytes(gmul(a[0], r[0]) ^ gmul(a[1], r[1]) ^ gmul(a[2], r[2]) ^ gmul(a[3], r[3]) for r in m)
    return int.from_bytes(out, "big")


def inverse_schedule(enc, nr):
    rounds = [enc[4 * r:4 * r + 4] for r in range(nr + 1)][::-1]
    out = []
    for r, words in enumerate(rounds):
        out += words if r in (0, nr) else [inv_mix_column(w) for w in words]
    return out


def self_check_key_expansion():
    """The last expanded word of each FIPS-197 appendix A example."""
    examples = {
        "2b7e151628aed2a6abf7158809cf4f3c": 0xb6630ca6,
        "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b": 0x01002202,
        "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4": 0x706c631e,
    }
    for key, word in examples.items():
        assert expand_key(bytes.fromhex(key))[-1] == word, key


# --- Cipher streams and contexts ------------------------------------------

def stream_key(header, project, password):
    stored = project.upper()[:31]
    material = header + b"_ardex" + stored[:30] + password[:31]
    return hashlib.sha1(material).digest()


def header_of(time):
    return b"KELT" + bytes(4) + time.to_bytes(4, "big") + bytes(4)


def cipher_streams():
    cases = [
        (b"", b"", 0x00000000, b""),
        (b"demo", b"secret", 0x5F5E1000, b"Hello, stream cipher!"),
        (b"Payroll-2024", b"correct horse battery staple", 0x6553F100, pattern(16, 1)),
        (b"Payroll-2024", b"correct horse battery staple", 0x6553F100, pattern(47, 2)),
        (b"a" * 40, b"p" * 40, 0xFFFFFFFF, pattern(100, 3)),
        (b"mixed.Case_project", "pässwörd-ü".encode(), 0x80000001, pattern(1000, 4)),
    ]
    lines = []
    for project, password, time, plain in cases:
        header = header_of(time)
        key = stream_key(header, project, password)[:16]
        stream = header + openssl_ecb(key, plain, pad=True)
        lines.append("%s|%s|%08x|%s|%s" % (project.decode(), password.decode(), time,
                                           plain.hex(), stream.hex()))
    write("cipher_streams.txt", [
        "project (as handed to initKey)|password|header time (hex)|plaintext (hex)|stream (hex)",
        "Made by make_golden.py: key = first 16 bytes of SHA-1(header || \"_ardex\" ||",
        "upper-cased project cut to 30 bytes || password cut to 31 bytes) with python3",
        "hashlib, ciphertext by openssl enc -aes-128-ecb (PKCS#7 padding).",
    ], lines)


def context_fields(project, mode, rounds, pending, carry):
    stored = project.upper()[:31]
    fields = stored + bytes(32 - len(stored))
    for value in (mode, rounds, pending, len(carry)):
        fields += value.to_bytes(4, "big", signed=True)
    tail = carry.hex() + ".." * (32 - len(carry))
    return fields.hex() + tail


def cipher_contexts():
    blocks = []

    def record(name, mode, project, password, time, updates, data):
        sched, carry, rounds, pending = [0] * 60, b"", 0, 1
        if updates:
            # The first update runs the header step (decrypting, it needs the
            # whole header in that update); every update then moves whole
            # blocks out of carry + input, holding one block back when
            # decrypting.
            stream_header = header_of(time) if mode == 1 else data[:16]
            key = stream_key(stream_header, project, password)[:16]
            enc = expand_key(key)
            sched = enc if mode == 1 else inverse_schedule(enc, 10)
            sched = sched + [0] * (60 - len(sched))
            rounds, pending = 10, 0
            pos = 0
            for i, size in enumerate(updates):
                chunk = data[pos:pos + size]
                pos += size
                if i == 0 and mode == 2:
                    assert size >= 16
                    chunk = chunk[16:]
                moved = len(carry) + len(chunk) - (16 if mode == 2 else 0)
                moved = moved // 16 * 16 if moved > 0 else 0
                carry = (carry + chunk)[moved:]
        blocks.append("\n".join([
            "name = " + name,
            "mode = %d" % mode,
            "project = " + project.decode(),
            "password = " + password.decode(),
            "time = %08x" % time,
            "input = " + data.hex(),
            "updates = " + " ".join(str(u) for u in updates),
            "schedule = " + " ".join("%08x" % w for w in sched),
            "fields = " + context_fields(project, mode, rounds, pending, carry),
        ]))

    plain = pattern(40, 10)
    record("encrypt_fresh", 1, b"demo", b"secret", 0x5F5E1000, [], plain)
    record("encrypt_after_20", 1, b"demo", b"secret", 0x5F5E1000, [20], plain)
    record("encrypt_after_20_then_13", 1, b"demo", b"secret", 0x5F5E1000, [20, 13], plain)
    record("encrypt_long_project", 1, b"x" * 40, b"p" * 40, 0x01020304, [7], plain)
    stream = header_of(0x6553F100)
    key = stream_key(stream, b"Payroll", b"hunter2")[:16]
    stream += openssl_ecb(key, pattern(50, 11), pad=True)
    record("decrypt_fresh", 2, b"Payroll", b"hunter2", 0, [], stream)
    record("decrypt_after_header", 2, b"Payroll", b"hunter2", 0, [16], stream)
    record("decrypt_after_40", 2, b"Payroll", b"hunter2", 0, [40], stream)
    record("decrypt_after_64", 2, b"Payroll", b"hunter2", 0, [30, 34], stream)
    write("cipher_contexts.txt", [
        "The 320-byte stream state after known steps, one record per blank-line",
        "separated block. mode 1 encrypts, 2 decrypts; the input is fed in updates",
        "of the listed sizes (none: just after initKey), with the header time given.",
        "schedule: the 60 round-key words as values, kept in the host's byte order.",
        "fields: bytes 240..319 (project, mode, rounds, header pending, buffered,",
        "carry), big-endian on every host; '..' marks a carry byte past buffered,",
        "whose contents are not part of the state.",
        "Made by make_golden.py: keys with python3 hashlib, ciphertext with openssl",
        "enc -aes-128-ecb, schedules from its FIPS-197 key expansion.",
    ], ["", "\n\n".join(blocks)])


# --- Password family ----------------------------------------------------

def passwords():
    cases = [
        (b"", bytes(20)),
        (b"secret", bytes(range(20))),
        (b"correct horse battery staple", pattern(20, 20)),
        ("Grüße, Zürich".encode(), b"\xff" * 20),
        (b"\x7f\x80\xfe\xff", pattern(20, 21)),
        (b"p" * 100, pattern(20, 22)),
    ]
    lines = []
    for password, challenge in cases:
        stage1 = hashlib.sha1(password).digest()
        stage2 = hashlib.sha1(stage1).digest()
        mask = hashlib.sha1(challenge + stage2).digest()
        reply = bytes(a ^ b for a, b in zip(mask, stage1))
        stored = "*" + stage2.hex().upper()
        assert sha1(stage1) == stage2.hex()
        lines.append("%s|%s|%s|%s" % (password.hex(), challenge.hex(), stored, reply.hex()))
    write("passwords.txt", [
        "password (hex)|challenge (hex)|stored form|reply (hex)",
        "Made by make_golden.py with python3 hashlib: stage 1 = SHA-1(password),",
        "stage 2 = SHA-1(stage 1), stored form = '*' + upper-case hex of stage 2,",
        "reply = SHA-1(challenge || stage 2) XOR stage 1.",
    ], lines)


def random_strings():
    modulus = 0x3FFFFFFF
    cases = [(1, 2, 16), (12345, 67890, 40), (0, 0, 8), (0xFFFFFFFF, 0xFFFFFFFE, 40),
             (0x3FFFFFFE, 0x3FFFFFFE, 40), (2718281828, 3141592653, 64)]
    lines = []
    for seed1, seed2, length in cases:
        a, b = seed1 % modulus, seed2 % modulus
        chars = []
        for _ in range(length):
            a = (3 * a + b) % modulus
            b = (a + b + 33) % modulus
            chars.append(chr(int(a / float(modulus) * 94.0 + 33.0)))
        lines.append("%d|%d|%d|%s" % (seed1, seed2, length, "".join(chars)))
    write("random_strings.txt", [
        "seed1|seed2|length|challenge string (the rest of the line)",
        "Made by make_golden.py from the generator's recurrence in python3 floats",
        "(IEEE doubles). Seeds stay below 2^32, so 32- and 64-bit builds agree.",
    ], lines)


# --- XML text and Base64 ------------------------------------------------------

XML_DOCUMENTS = [
    "<a/>",
    "<a x='1' y=\"q&quot;'\"/>",
    "<a>t</a>",
    "<a><b>t</b></a>",
    "<r k='&lt;&amp;&gt;'> one <c/><!--note-->two &amp; three<![CDATA[<raw&>]]><d><e>x</e>y</d></r>",
    "<list><item id='1'>caf\u00e9 \u65e5\u672c</item><item id='2'/><item>a&lt;b</item></list>",
]


def escape(text):
    for raw, entity in (("&", "&amp;"), ("<", "&lt;"), (">", "&gt;"), ('"', "&quot;"),
                        ("'", "&apos;")):
        text = text.replace(raw, entity)
    return text


def xml_items(node):
    """A minidom element's items as the library keeps them: whitespace
    around texts dropped, empty texts gone, comments and CDATA kept."""
    from xml.dom import Node
    items = []
    for child in node.childNodes:
        if child.nodeType == Node.TEXT_NODE:
            text = child.data.strip(" \t\r\n")
            if text:
                items.append(("text", text))
        elif child.nodeType == Node.COMMENT_NODE:
            items.append(("clear", "<!--" + child.data + "-->"))
        elif child.nodeType == Node.CDATA_SECTION_NODE:
            items.append(("clear", "<![CDATA[" + child.data + "]]>"))
        elif child.nodeType == Node.ELEMENT_NODE:
            items.append(("element", child))
    return items


def xml_write(element, level):
    """The writer's layout: level -1 writes no tabs nor line feeds; an
    element whose only item is one text stays on one line."""
    items = xml_items(element)
    own = -2 if level >= 0 and len(items) == 1 and items[0][0] == "text" else level
    out = "\t" * max(level, 0) + "<" + element.tagName
    for name, value in element.attributes.items():
        out += ' %s="%s"' % (name, escape(value))
    if not items:
        return out + "/>" + ("" if own == -1 else "\n")
    out += ">" + ("\n" if own >= 0 else "")
    inner = -1 if own < 0 else own + 1
    for kind, item in items:
        if kind == "element":
            out += xml_write(item, inner)
        else:
            body = escape(item) if kind == "text" else item
            out += body if own < 0 else "\t" * (own + 1) + body + "\n"
    out += "\t" * max(own, 0) + "</" + element.tagName + ">"
    return out + ("" if own == -1 else "\n")


def xml_texts():
    from xml.dom import minidom
    lines = []
    for document in XML_DOCUMENTS:
        root = minidom.parseString(document.encode("utf-8")).documentElement
        for fmt, level in ((0, -1), (1, 0)):
            text = xml_write(root, level).encode("utf-8")
            lines.append("%d|%s|%s" % (fmt, text.hex(), document))
    write("xml_texts.txt", [
        "format|text written, as hex|document parsed with the default options",
        "Made by make_golden.py: python3's minidom parses, and a writer of the",
        "layout written out there produces the text.",
    ], lines)


def base64_lines(data, line_breaks):
    """Base64 with a line feed after every 18th complete group of three bytes,
    never after the last, partial group."""
    import base64
    text = base64.b64encode(data).decode("ascii")
    if not line_breaks:
        return text
    whole = len(data) // 3 * 4
    out = ""
    for group in range(0, whole, 4):
        out += text[group:group + 4]
        if (group // 4) % 18 == 17:
            out += "\n"
    return out + text[whole:]


def base64_vectors():
    lines = []
    for length in list(range(0, 12)) + [53, 54, 55, 56, 107, 108, 109, 200]:
        data = pattern(length, 7)
        for breaks in (0, 1):
            lines.append("%d|%s|%s" % (breaks, data.hex(), base64_lines(data, breaks).encode().hex()))
    write("base64.txt", [
        "lineBreaks|bytes, as hex|text, as hex",
        "Made by make_golden.py with python3's base64 module.",
    ], lines)


if __name__ == "__main__":
    self_check_key_expansion()
    sha1_vectors()
    aes_vectors()
    cipher_streams()
    cipher_contexts()
    passwords()
    random_strings()
    xml_texts()
    base64_vectors()
