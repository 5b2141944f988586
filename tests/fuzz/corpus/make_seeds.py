#!/usr/bin/env python3
"""Writes the seed inputs of the property-list, keyed-archive and layer-archive fuzz targets: well-formed files
of every value type in both formats, and the damaged forms that the unit tests no longer list one
by one (truncations, bad trailers, references out of range, archives missing their parts).
Run it from this folder; the seeds are kept in the repository."""
import datetime
import io
import os
import plistlib
import struct
import zipfile
import zlib

UID = plistlib.UID


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def binary_plist(objects, top=0):
    out = bytearray(b'bplist00')
    offsets = []
    for obj in objects:
        offsets.append(len(out))
        out += obj
    table = len(out)
    for offset in offsets:
        out += struct.pack('>I', offset)
    return bytes(out) + bytes(6) + bytes([4, 4]) + struct.pack('>QQQ', len(objects), top, table)


def property_lists():
    value = {'DisplayName': 'Layer \u00e9 <&>', 'ItemOrder': ['A', 'B', 'A'], 'Disabled': False,
             'Count': -7, 'Big': 2**63, 'Ratio': 0.5, 'Blob': b'\x00\x01\xff',
             'When': datetime.datetime(2020, 6, 15, 12, 34, 56),
             'Buttons': {'App0': {'Signature': 'a.b', 'Settings': {}}}, 'Empty': [], 'None': {}}
    xml = plistlib.dumps(value, fmt=plistlib.FMT_XML)
    binary = plistlib.dumps(value, fmt=plistlib.FMT_BINARY)
    seeds = {
        'layer.xml': xml,
        'layer.bin': binary,
        'long.bin': plistlib.dumps(list(range(300)), fmt=plistlib.FMT_BINARY),
        'uid.bin': plistlib.dumps({'root': UID(7)}, fmt=plistlib.FMT_BINARY),
        'truncated.bin': binary[:-5],
        'no-trailer.bin': binary[:20],
        'header-only.bin': b'bplist00',
        'top-out-of-range.bin': binary_plist([b'\x10\x05'], top=3),
        'reference-out-of-range.bin': binary_plist([b'\xa1' + struct.pack('>I', 9)]),
        'truncated.xml': xml[: len(xml) // 2],
        'trailing-garbage.xml': b'<plist><true/></plist><plist><false/></plist>',
        'mismatched.xml': b'<plist><array><string>x</array></string></plist>',
    }
    for name, data in seeds.items():
        write('property_list', name, data)


def archive(objects, root=UID(1), **changes):
    top = {'$archiver': 'NSKeyedArchiver', '$version': 100000, '$top': {'root': root}, '$objects': objects}
    for key, value in changes.items():
        key = '$' + key
        if value is None:
            top.pop(key)
        else:
            top[key] = value
    return top


def record(name, *ancestors):
    return {'$classname': name, '$classes': [name, *ancestors, 'NSObject']}


def keyed_archives():
    collections = archive([
        '$null',
        {'NS.keys': [UID(2), UID(3), UID(4), UID(5)], 'NS.objects': [UID(6), UID(8), UID(10), UID(12)],
         '$class': UID(14)},
        'name', 'blob', 'when', 'list',
        {'NS.string': 'Hello', '$class': UID(7)}, record('NSMutableString', 'NSString'),
        {'NS.data': b'\x01\x02', '$class': UID(9)}, record('NSData'),
        {'NS.time': 600000000.25, '$class': UID(11)}, record('NSDate'),
        {'NS.objects': [UID(6), UID(15), UID(0)], '$class': UID(13)}, record('NSArray'),
        record('NSDictionary'), -7])
    text = archive(['$null', 'plain'])
    seeds = {
        'collections.bin': collections,
        'text.bin': text,
        'no-archiver.bin': archive(['$null', 'plain'], archiver=None),
        'version-text.bin': archive(['$null', 'plain'], version='100000'),
        'objects-without-null.bin': archive(['plain', 'plain']),
        'root-not-reference.bin': archive(['$null', 'plain'], root=1),
        'class-without-name.bin': archive(['$null', {'$class': UID(2)}, {'$classes': ['NSArray']}]),
        'unknown-class.bin': archive(['$null', {'$class': UID(2)}, record('NSColor')]),
        'element-not-reference.bin': archive(['$null', {'NS.objects': ['inline'], '$class': UID(2)},
                                              record('NSArray')]),
        'number-as-key.bin': archive(['$null', {'NS.keys': [UID(3)], 'NS.objects': [UID(3)], '$class': UID(2)},
                                      record('NSDictionary'), 42]),
        'date-text-time.bin': archive(['$null', {'NS.time': 'now', '$class': UID(2)}, record('NSDate')]),
        'bare-array.bin': archive(['$null', [UID(0)]]),
    }
    for name, value in seeds.items():
        write('keyed_archive', name, plistlib.dumps(value, fmt=plistlib.FMT_BINARY))
    # XML archives carry references as {"CF$UID": n}.
    xml = archive(['$null', {'NS.objects': [{'CF$UID': 2}], '$class': {'CF$UID': 3}}, 'twice', record('NSArray')],
                  root={'CF$UID': 1})
    write('keyed_archive', 'references.xml', plistlib.dumps(xml, fmt=plistlib.FMT_XML))


def png(width, height, cells=()):
    """An RGB PNG, black but for the given (x, y, w, h) rectangles in red."""
    rows = []
    for y in range(height):
        row = bytearray(3 * width)
        for (cx, cy, cw, ch) in cells:
            if cy <= y < cy + ch:
                for x in range(cx, cx + cw):
                    row[3 * x] = 255
        rows.append(b'\0' + bytes(row))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(b''.join(rows), 9)) + chunk(b'IEND', b''))


def tiff_header(width, height):
    """A little-endian TIFF directory claiming an RGB picture, with no pixels behind it."""
    tags = [(256, 4, width), (257, 4, height), (258, 3, 8), (259, 3, 5), (262, 3, 2), (273, 4, 200),
            (277, 3, 3), (279, 4, 64)]
    out = b'II*\0' + struct.pack('<I', 8) + struct.pack('<H', len(tags))
    for tag, kind, value in tags:
        out += struct.pack('<HHII', tag, kind, 1, value)
    return out + struct.pack('<I', 0)


def zipped(entries, blank=True, links=()):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, 'w', zipfile.ZIP_DEFLATED) as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = (0o120777 if name in links else 0o100644) << 16
            archive.writestr(info, data)
    data = buffer.getvalue()
    return (b'\0\0\0\0' + data[4:]) if blank else data


def layer_archives():
    """Archives as other installations and attackers make them; the picture is a PNG so that the
    seeds stay small (the reader takes whatever picture format the file holds)."""
    description = ('<?xml version="1.0" encoding="UTF-8"?>\n'
                   '<layers xmlns:pc="http://www.kettlewood.com/xmlns/pc" '
                   'xmlns:mac="http://www.kettlewood.com/xmlns/mac">'
                   '<layer name="One" image="000.tiff">'
                   '<mac:condition type="application" value="org.gimp.GIMP" predicate="isActive"/>'
                   '<mac:condition type="language" value="1033"/>'
                   '<mac:condition type="modifier" value="Shift|Option"/>'
                   '<mac:condition type="capslock" value="yes"/>'
                   '<button name="App0"/><button name="A"/><button name="Nope"/></layer>'
                   '<layer name="Two" image="001.tiff"><button name="Space"/></layer>'
                   '</layers>').encode()
    picture = png(1312, 376, [(16, 16, 48, 48)])
    folder = 'layer_archive'
    write(folder, 'two-layers.layers', zipped([('Layers.xml', description), ('000.tiff', picture),
                                               ('001.tiff', picture)]))
    write(folder, 'signature-in-place.layers', zipped([('Layers.xml', description), ('000.tiff', picture)],
                                                      blank=False))
    write(folder, 'huge-tiff-header.layers', zipped([('Layers.xml', description),
                                                     ('000.tiff', tiff_header(100000, 100000))]))
    write(folder, 'right-size-tiff-without-pixels.layers', zipped([('Layers.xml', description),
                                                                  ('000.tiff', tiff_header(1312, 376))]))
    write(folder, 'traversal.layers', zipped([('Layers.xml', description), ('../000.tiff', picture)]))
    write(folder, 'link.layers', zipped([('Layers.xml', description), ('000.tiff', b'/etc/passwd')],
                                        links=('000.tiff',)))
    write(folder, 'entities.layers', zipped([('Layers.xml', b'<?xml version="1.0"?><!DOCTYPE layers '
                                              b'[<!ENTITY a "aaaa"><!ENTITY b "&a;&a;&a;">]>'
                                              b'<layers><layer name="&b;" image="000.tiff"/></layers>')]))
    # The parts form of the fuzz target: "LX", then the description and the first picture, each
    # ended by a backslash and another character (a backslash inside is doubled), then the second.
    def parts(*strings):
        return b'LX' + b''.join(part.replace(b'\\', b'\\\\') + b'\\;' for part in strings[:-1]) + strings[-1]
    write(folder, 'parts-two-layers.bin', parts(description, picture, picture))
    write(folder, 'parts-huge-tiff.bin', parts(description, tiff_header(100000, 100000), tiff_header(1312, 376)))
    write(folder, 'wrong-method.layers', zipped([('Layers.xml', description)]).replace(b'\x08\x00', b'\x00\x00', 0))


if __name__ == '__main__':
    property_lists()
    keyed_archives()
    layer_archives()
