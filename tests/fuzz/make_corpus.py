#!/usr/bin/env python3
"""Writes the hand-made seed corpora of the fuzz targets (run from this folder)."""
import os
import io
import struct
import zipfile
import zlib


def hdr(t, size_code):
    return bytes([(t << 3) | size_code])


def uint(n, v): return hdr(1, {1: 0, 2: 1, 4: 2, 8: 3, 16: 4}[n]) + v.to_bytes(n, 'big')
def sint(n, v): return hdr(2, {1: 0, 2: 1, 4: 2, 8: 3, 16: 4}[n]) + v.to_bytes(n, 'big', signed=True)
def uuid16(v): return hdr(3, 1) + v.to_bytes(2, 'big')
def uuid32(v): return hdr(3, 2) + v.to_bytes(4, 'big')
def uuid128(b): return hdr(3, 4) + b
def boolean(v): return hdr(5, 0) + bytes([1 if v else 0])
def nil(): return hdr(0, 0)


def var(t, body, width=1):
    code = {1: 5, 2: 6, 4: 7}[width]
    return hdr(t, code) + len(body).to_bytes(width, 'big') + body


def text(s, width=1): return var(4, s, width)
def url(s): return var(8, s)
def seq(*items, width=1): return var(6, b''.join(items), width)
def alt(*items): return var(7, b''.join(items))
def attr(i, v): return uint(2, i) + v


def opp_record(channel, name):
    return seq(
        attr(0x0000, uint(4, 0x00010005)),
        attr(0x0001, seq(uuid16(0x1105))),
        attr(0x0004, seq(seq(uuid16(0x0100)), seq(uuid16(0x0003), uint(1, channel)), seq(uuid16(0x0008)))),
        attr(0x0005, seq(uuid16(0x1002))),
        attr(0x0006, seq(uint(2, 0x656E), uint(2, 0x006A), uint(2, 0x0100))),
        attr(0x0009, seq(seq(uuid16(0x1105), uint(2, 0x0100)))),
        attr(0x0100, text(name)),
        attr(0x0303, seq(uint(1, 1), uint(1, 2), uint(1, 3), uint(1, 0xFF))),
    )


def every_type_record():
    return seq(
        attr(0x0200, seq(nil(), uint(1, 200), uint(2, 0xBEEF), uint(4, 0xDEADBEEF), uint(8, 2**64 - 1),
                         uint(16, 2**127 + 5), sint(1, -1), sint(2, -300), sint(4, -70000), sint(8, -2),
                         sint(16, -1))),
        attr(0x0201, alt(uuid32(0x00011105), uuid128(bytes.fromhex('0000110500001000800000805F9B34FB')),
                         boolean(True), boolean(False))),
        attr(0x0202, url(b'http://example.invalid/x')),
        attr(0x0100, text(b'Name with\x1b[31m control', 2)),
        attr(0x0101, seq(seq(seq(seq(uuid16(0x0003)))), width=4)),
    )


def nested(levels):
    e = uint(1, 7)
    for _ in range(levels):
        e = seq(e)
    return seq(attr(0x0300, e))


def response_pdus(lists, chunk, tid_match=True):
    """One response PDU per chunk of the lists, with continuation states."""
    out = bytearray([1 if tid_match else 0])
    parts = [lists[i:i + chunk] for i in range(0, len(lists), chunk)] or [b'']
    for n, part in enumerate(parts):
        cont = b'' if n == len(parts) - 1 else bytes([n + 1, 0xAA])
        params = len(part).to_bytes(2, 'big') + part + bytes([len(cont)]) + cont
        pdu = bytes([0x07, 0, 1]) + len(params).to_bytes(2, 'big') + params
        out += len(pdu).to_bytes(2, 'big') + pdu
    return bytes(out)


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


records = {
    'opp': opp_record(9, b'OBEX Object Push\x00'),
    'every-type': every_type_record(),
    'nested-16': nested(16),
    'nested-17': nested(17),
    'bad-type': seq(attr(0x0001, bytes([0xF8, 0x00]))),
    'child-too-long': seq(attr(0x0001, bytes([0x35, 0x05, 0x19, 0x11]))),
    'length-2-31': seq(attr(0x0001, bytes([0x37, 0x7F, 0xFF, 0xFF, 0xFF, 0x19, 0x11, 0x05]))),
    'uuid-size-0': seq(attr(0x0001, bytes([0x18, 0x11]))),
    'int-size-5': seq(attr(0x0001, bytes([0x0D, 0x02, 0x00, 0x01]))),
}
for name, data in records.items():
    write('corpus/record', name, data)
write('corpus/record', 'lists-two', seq(opp_record(9, b'OPP'), opp_record(12, b'Second')))

lists_one = seq(opp_record(9, b'OBEX Object Push\x00'))
lists_two = seq(opp_record(4, b'Push'), every_type_record(), width=2)
write('corpus/response', 'one', response_pdus(lists_one, 4000))
write('corpus/response', 'continued', response_pdus(lists_two, 40))
write('corpus/response', 'wrong-tid', response_pdus(lists_one, 4000, tid_match=False))
err = bytes([0x01, 0, 1, 0, 2, 0, 3])
write('corpus/response', 'error', b'\x01' + len(err).to_bytes(2, 'big') + err)
big_cont = bytes([0x07, 0, 1, 0, 0x14, 0, 1, 0x35, 17]) + bytes(17)
write('corpus/response', 'continuation-17', b'\x01' + len(big_cont).to_bytes(2, 'big') + big_cont)
empty = bytes([0x07, 0, 1, 0, 5, 0, 2, 0x35, 0, 0])
write('corpus/response', 'empty', b'\x01' + len(empty).to_bytes(2, 'big') + empty)


# HTTP replies, as the update server might send them.
def reply(head, body=b''):
    return head + body


http = {
    'ok-one': reply(b'HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\n', b'1'),
    'ok-lower': reply(b'HTTP/1.1 200 OK\r\nContent-length: 5\r\nConnection: close\r\n\r\n', b'hello'),
    'bare-lf': reply(b'HTTP/1.0 200 OK\nContent-Length: 3\n\n', b'abc'),
    'no-length': reply(b'HTTP/1.0 200 OK\r\nServer: x\r\n\r\n', b'body'),
    'short-body': reply(b'HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n', b'abc'),
    'longer-body': reply(b'HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\n', b'abcdef'),
    'moved': reply(b'HTTP/1.0 301 Moved\r\nLocation: /elsewhere\r\n\r\n'),
    'no-content': reply(b'HTTP/1.0 204 No Content\r\nContent-Length: 0\r\n\r\n'),
    'two-lengths': reply(b'HTTP/1.0 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\n', b'abc'),
    'huge-length': reply(b'HTTP/1.0 200 OK\r\nContent-Length: 99999999999\r\n\r\n', b'x'),
    'signed-length': reply(b'HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n', b'x'),
    'long-header': reply(b'HTTP/1.0 200 OK\r\nX-Pad: ' + b'a' * 2100 + b'\r\nContent-Length: 1\r\n\r\n', b'z'),
    'no-status': reply(b'HTTP/1.0\r\n\r\n'),
    'zip-body': reply(b'HTTP/1.0 200 OK\r\nContent-Length: 22\r\n\r\n', b'PK\x05\x06' + bytes(18)),
}
for name, data in http.items():
    write('corpus/http_reply', name, data)


# OBEX answers: the first byte sets the file size (8 bytes per unit), then
# each answer as a 16-bit length and its bytes.
def answers(units, *packets):
    out = bytearray([units])
    for p in packets:
        out += len(p).to_bytes(2, 'big') + p
    return bytes(out)


def packet(code, body=b''):
    return bytes([code]) + (3 + len(body)).to_bytes(2, 'big') + body


def connected(maximum, headers=b''):
    return packet(0xA0, bytes([0x10, 0]) + maximum.to_bytes(2, 'big') + headers)


cont, success = packet(0x90), packet(0xA0)
obex = {
    'one-packet': answers(4, connected(0x2000), success, success),
    'many-packets': answers(200, connected(0x00FF), *([cont] * 8), success, success),
    'connection-id': answers(40, connected(0x0400, bytes([0xCB, 0, 0, 0, 7])), cont, success, success),
    'tiny-maximum': answers(40, connected(0x0010), *([cont] * 4), success, success),
    'refused': answers(4, connected(0x2000), packet(0xC3), success),
    'refused-connect': answers(4, packet(0xC1)),
    'early-success': answers(200, connected(0x00FF), success, success),
    'continue-at-end': answers(4, connected(0x2000), cont, success),
    'length-too-small': answers(4, bytes([0xA0, 0, 1])),
    'cut-short': answers(4, connected(0x2000)[:5]),
    'bad-header': answers(4, packet(0xA0, bytes([0x10, 0, 0x20, 0, 0x01, 0, 0x40]))),
    'empty-file': answers(0, connected(0x2000), success, success),
}
for name, data in obex.items():
    write('corpus/obex_response', name, data)


# Archive listings: the names (unzip -Z1), a NUL byte, the long listing (unzip -Z).
def listing(entries):
    names = ''.join(name + '\n' for _, _, name in entries)
    lines = ''.join('%s  3.0 unx %8d tx stor 26-Dec-07 15:52 %s\n' % (mode, size, name)
                    for mode, size, name in entries)
    text = ('Archive:  /k/update.zip\nZip file size: 300 bytes, number of entries: %d\n' % len(entries)
            + lines + '%d files, 12 bytes uncompressed, 12 bytes compressed:  0.0%%\n' % len(entries))
    return names.encode('latin-1') + b'\0' + text.encode('latin-1')


good = [('drwxr-xr-x', 0, 'profiles/'), ('-rw-r--r--', 3, 'profiles/version.dat'),
        ('-rw-r--r--', 12, 'profiles/vendors/a b.txt')]
listings = {
    'good': listing(good),
    'symlink': listing(good + [('lrwxrwxrwx', 4, 'profiles/vendors/link')]),
    'parent': listing(good + [('-rw-r--r--', 1, 'profiles/../../x')]),
    'absolute': listing([('-rw-r--r--', 1, '/etc/x')]),
    'backslash': listing([('-rw-r--r--', 1, 'profiles\\x')]),
    'control': listing([('-rw-r--r--', 1, 'profiles/a\x1bb')]),
    'outside': listing([('-rw-r--r--', 1, 'bin/config.xml')]),
    'directory-as-file': listing([('-rw-r--r--', 0, 'profiles/d/')]),
    'huge-size': listing([('-rw-r--r--', 999999999999999, 'profiles/x')]),
    'count-mismatch': listing(good)[:-40],
    'no-separator': b'profiles/x\n',
}
for name, data in listings.items():
    write('corpus/update_listing', name, data)


# Files a user or a peer hands VarBuild: the kit's own, and damaged ones.
def kit_file(path):
    with open(os.path.join('..', '..', 'kit', path), 'rb') as f:
        return f.read()


demo_vnp = kit_file('data/projects/demo/demo.vnp')
vnps = {
    'demo': demo_vnp,
    'symbian': kit_file('data/projects/symbian/symbian.vnp'),
    'cut-short': demo_vnp[:len(demo_vnp) // 2],
    'escapes': b'<Project name="a&amp;b &#9;&#10;&lt;x&gt;">\n<Property name="extraCmd" value="-D &quot;Q&quot;"/>'
               b'\n<Folder name="f"><File path="s p/a.c"/></Folder></Project>\n',
    'before-root': b'<Property name="x" value="y"/><Project name="p"/>',
}
for name, data in vnps.items():
    write('corpus/vnp', name, data)

vcproj = kit_file('data/projects/demo/vc/demo.vcproj')
for name, data in {'demo': vcproj, 'cut-short': vcproj[:len(vcproj) // 2],
                   'empty-filter': b'<VisualStudioProject Name="v"><Files><Filter Name=""/></Files>'
                                   b'</VisualStudioProject>'}.items():
    write('corpus/vcproj', name, data)

config = kit_file('config.xml.in').replace(b'@KIT_ROOT@', b'/opt/kit')
for name, data in {'kit': config, 'empty': b'', 'cut-short': config[:60],
                   'file-types': b'<Config version="1"><FileType extension="cpp" cmdLine="ed %file:%line"/>'
                                 b'<Property name="phonePort" value="99999999999"/></Config>'}.items():
    write('corpus/config', name, data)

definitions = kit_file('data/profiles/vendors/definitions.txt')
profile = kit_file('data/profiles/vendors/Aldaro/A100/profile.h')
runtime = kit_file('data/profiles/vendors/Aldaro/A100/runtime.txt')
for name, data in {'a100': definitions + b'\0' + runtime + b'\0' + profile,
                   'no-profile': definitions + b'\0' + runtime,
                   'odd-defines': b'KV_PROF_SUPPORT_X\n\n,only display\n\0\r\n\0#define\tKV_PROF_CONST_Y -99999999999\n'
                                  b'#define KV_PROF_BUG_Z\n#define\n  #define KV_PROF_SUPPORT_W\n'}.items():
    write('corpus/profile', name, data)


def u32(v): return struct.pack('<I', v)
def text_field(t): return u32(len(t)) + t


def record_entry(key, command, inputs, outputs):
    def states(items):
        return u32(len(items)) + b''.join(text_field(p) + bytes([e]) + struct.pack('<QqI', sz, sec, ns)
                                          for p, e, sz, sec, ns in items)
    payload = text_field(key) + text_field(command) + states(inputs) + states(outputs)
    return u32(len(payload)) + u32(zlib.crc32(payload)) + payload


record_header = b'VBRECORD' + u32(1) + text_field(b'fuzz')
compile_entry = record_entry(b'/p/Output/main.s', b'xgcc -S main.c', [(b'/p/main.c', 1, 120, 1700000000, 5)],
                             [(b'/p/Output/main.s', 1, 900, 1700000001, 7)])
link_entry = record_entry(b'link', b'lintel -B program', [(b'/p/Output/main.s', 1, 900, 1700000001, 7)],
                          [(b'/p/Output/program', 0, 0, 0, 0)])
records = {
    'two-entries': record_header + compile_entry + link_entry,
    'replaced': record_header + compile_entry + compile_entry,
    'torn-tail': record_header + compile_entry + link_entry[:-3],
    'bad-checksum': record_header + compile_entry[:8] + b'X' + compile_entry[9:],
    'other-version': b'VBRECORD' + u32(1) + text_field(b'0.9') + compile_entry,
    'header-only': record_header,
    'not-a-record': b'all: main.o\n',
}
for name, data in records.items():
    write('corpus/build_record', name, data)

for name, data in {
        'gcc': b'Output/main.s: src/main.c /usr/include/stdio.h \\\n src/game/world.h\n',
        'escapes': b'out.s: a\\ b.c c\\#d.h e$$f.h\r\nother.s: a\\ b.c\n',
        'phony': b'out.s: main.c x.h\nx.h:\n',
        'no-colon': b'out.s main.c\n',
        'colon-only': b': main.c\n'}.items():
    write('corpus/dep_file', name, data)


def archive(entries, method=zipfile.ZIP_DEFLATED):
    out = io.BytesIO()
    with zipfile.ZipFile(out, 'w', method) as z:
        for entry, content in entries:
            z.writestr(entry, content)
    return out.getvalue()


small = archive([('profiles/definitions.txt', definitions), ('profiles/vendors/V/D/profile.h', profile)])
for name, data in {'small': bytes([64]) + small,
                   'over-limit': bytes([2]) + archive([('profiles/definitions.txt', b'x' * 100000)]),
                   'stored': bytes([64]) + archive([('profiles/definitions.txt', definitions)], zipfile.ZIP_STORED),
                   'cut-short': bytes([64]) + small[:len(small) // 2],
                   'not-a-zip': bytes([1]) + b'PK\x03\x04 no archive'}.items():
    write('corpus/zip_entries', name, data)
