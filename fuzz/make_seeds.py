#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target under fuzz/corpus/<target>/: a few inputs as the tool meets
them (a firmware build's HEX file, a setting.txt, a phone's settings image, the sample web pages, debug
traffic, link answers), each in the framing its target reads. Run again after a framing changes; the
findings kept in the corpus (crash-*, finding-*) are left alone."""

import os
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = HERE / "corpus"
PAGES = HERE.parent / "tests" / "webgen" / "data"


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data if isinstance(data, bytes) else data.encode("latin-1"))


# FuzzedDataProvider takes integers from the end of the input, most significant byte first, and byte
# runs from the front; Framed builds inputs in that layout.
class Framed:
    def __init__(self):
        self.front = b""
        self.back = b""  # in the order the provider reads it

    def integer(self, value, size):
        self.back += value.to_bytes(size, "big")

    def bytes(self, data):
        self.front += data

    def data(self):
        return self.front + self.back[::-1]


# --- fuzz_hex_file ------------------------------------------------------------------------------------
def hex_record(address, payload, rtype=0):
    body = bytes([len(payload), address >> 8, address & 0xFF, rtype]) + payload
    return ":" + body.hex().upper() + "%02X" % ((-sum(body)) & 0xFF)


def hex_file(records, end="\r\n"):
    return end.join(records + [":00000001FF"]) + end


code = bytes(range(0x20, 0x60))
write("fuzz_hex_file", "build_output.hex",
      hex_file([hex_record(a, code[a % 64:a % 64 + 16]) for a in range(0, 0x80, 16)]))
write("fuzz_hex_file", "lower_case_lf.hex",
      hex_file([hex_record(0x100, b"\x02\x01\x00\x75\x81\x30"), hex_record(0x106, b"\x80\xFE")], "\n").lower())
write("fuzz_hex_file", "extended_address.hex",
      hex_file([hex_record(0, b"\x02\x00\x30"), ":020000040001F9", hex_record(0x10, b"\x00")]))
write("fuzz_hex_file", "page_end.hex", hex_file([hex_record(0xFFF8, bytes(range(32))), hex_record(0x10, b"\xAA")]))
write("fuzz_hex_file", "bad_checksum.hex", ":10000000000102030405060708090A0B0C0D0E0F00\r\n" + hex_file([]))
write("fuzz_hex_file", "short_record.hex", ":1000000000010203\r\n:00000001FF")

# --- fuzz_settings_text (first byte: even = one line, odd = a whole file) -------------------------------
for i, line in enumerate(["ip=192.168.0.20", "mac=02 5d 7b 00 12 34", "test=1 2 3 4 5 6", "q931port=1720",
                          "phonenumber=8046123", "h323id=quill-phone-01", "gkip=phone.lan", "handsetin=-3"]):
    write("fuzz_settings_text", "line_%d" % i, b"\x00" + line.encode())
write("fuzz_settings_text", "setting.txt",
      b"\x01" + b"ip=192.168.0.20\r\nsubnetmask=255.255.255.0\r\nrouter=192.168.0.1\r\ndhcp=0\r\n"
      b"[SETTING2]\r\nip=192.168.0.21\r\nphonenumber=202\r\npassword=8046\r\n"
      b"[setting3]\r\nmac=02 5d 7b 00 00 03\r\nrtpport=1722\r\n[SETTING4]\nservicedns=voip.example\n")
write("fuzz_settings_text", "bad_headers.txt",
      b"\x03" + b"[SETTING9]\nphonenumber=lost\n[OTHER]\ngk=1\n[SETTING\n[SETTING1]\ntest=9 8 7\nvad=1")

# --- fuzz_settings_image --------------------------------------------------------------------------------
image = bytearray(512)
image[0:6] = b"\x02\x5d\x7b\x00\x01\x02"
image[6:10] = bytes([192, 168, 1, 100])
image[10:14] = bytes([192, 168, 1, 1])
image[16:19] = b"100"
image[32:36] = bytes([255, 255, 255, 0])
image[54:56] = struct.pack(">H", 1720)
image[72:76] = b"8046"
image[216:225] = b"gk-quill1"
image[240:246] = struct.pack(">HHH", 1720, 1722, 1722)
image[488:512] = b"H323-ID-FILLS-ALL-24-BYT"
write("fuzz_settings_image", "phone_defaults.bin", bytes(image))
write("fuzz_settings_image", "all_ff.bin", b"\xFF" * 512)
write("fuzz_settings_image", "short.bin", bytes(image[:100]))

# --- fuzz_web_page (first byte: 1 replace, 2 Chinese, 4 temporary .htm, 8 two pages) -----------------------
for page in sorted(PAGES.glob("*.htm")):
    flags = 0x03 if page.stem == "chinese" else 0x01
    write("fuzz_web_page", page.stem, bytes([flags]) + page.read_bytes())
write("fuzz_web_page", "network_joined", bytes([0x0C]) + (PAGES / "network.htm").read_bytes())
write("fuzz_web_page", "tag", b"\x01<input type=text name=n012 value=\"x\">")
write("fuzz_web_page", "select", b"\x05<select name=ringtype><option>1</option></SELECT><title>t</title>")

# --- fuzz_debug_decoder (first byte: how the stream is cut) -----------------------------------------------
write("fuzz_debug_decoder", "log", b"\x07" + b"boot 0x1000 0x1001\n0x1018 3\r\n0x1085 112\n0x10a5 8\n"
      b"0x10BA 48\nrtp 0X1018 done\n0x1085\n0x11C5 end 0x11C6\n")
write("fuzz_debug_decoder", "reasons", b"\x31" + b"0x1085 -16\n0x1085   +32 x\n0x10a5\n0x1085 99999999999999999")
write("fuzz_debug_decoder", "codes_apart", b"\xA0" + b"0x1018,0x1019 0x0x1018 0x10\n0x1")

# --- fuzz_debug_datagram (per datagram: sender 0..3 and length from the end, the bytes from the front) -----
def datagrams(items):
    f = Framed()
    for sender, payload in items:
        f.integer(sender, 1)
        f.integer(len(payload), 2)
        f.bytes(payload)
    return f.data()


long_piece = (b"0x1018 " * 69)[:480]
write("fuzz_debug_datagram", "pieces", datagrams([(0, b"0x1018 3\x000x1085 112\x00"), (1, b"call up\x00")]))
write("fuzz_debug_datagram", "continued",
      datagrams([(1, long_piece + b"\x00"), (1, b"rest of the line\x00"), (2, long_piece), (1, b"x")]))
write("fuzz_debug_datagram", "cdr_record", datagrams([(3, b"CDR,100,200,00:01:05\r\n\x00junk")]))

# --- fuzz_answer_rules (first byte: rule and buffer; per delivery: size from the end, bytes from the front) --
def deliveries(pick, items):
    f = Framed()
    for payload in items:
        f.integer(len(payload), 2)
        f.bytes(payload)
    return bytes([pick]) + f.data()


block = bytes(range(128))
write("fuzz_answer_rules", "tcp_acks", deliveries(0, [b"\xFF", b"\xFF\xFF", b"\xFF"]))
write("fuzz_answer_rules", "tcp_read_split", deliveries(1 + 5 * 4, [block[:50], block[50:], block + block[:10]]))
write("fuzz_answer_rules", "serial_runs", deliveries(2, [b"\x55" * 5, b"\x55" * 3 + b"\xAA" * 8, b"\x00" * 17]))
write("fuzz_answer_rules", "serial_bulk", deliveries(3 + 5 * 3, [block[:20], b"\x01", block]))
write("fuzz_answer_rules", "serial_text", deliveries(4, [b"boot ok\r\n\x00ver", b"sion 1.2\x00\x00\n"]))
