#!/usr/bin/env python3
"""Writes the seed corpus of the two SDP fuzz targets (run from this folder)."""
import os
import struct


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
