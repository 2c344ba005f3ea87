#!/usr/bin/env python3
"""Writes the expected bytes of the stored files from their formats alone, so
the tests compare the program's output with an independent rendering.
Run from this folder: python3 make_golden.py"""
import struct

def s(text):
    b = text.encode('cp932') + b'\0'
    return struct.pack('<H', len(b)) + b

def i32(v):
    return struct.pack('<i', v)

sources = ['/pics/旅行/', '/pics/a.jpg']
targets = []
radio = [1, 3, 6, 0, 2]          # Mode, Syori, Seltgt, Near, Do
move = '/移動先/'
rows = [
    ['/pics/旅行/x.jpg', ' 1,234', '2024/01/02 3:04:05', '80', '60',
     '/pics/a.jpg', ' 987', '2024/01/02', '80', '60', '比較元のファイルをゴミ箱に移動しました'],
    ['/pics/b.png', ' 10', '2023/12/31 23:59:59', '1', '2',
     '/pics/c.png', ' 20', '2023/12/31', '3', '4', ''],
]
progress = ['/pics/旅行/x.jpg', '/pics/b.png', '/pics/c.png']

ovp = i32(len(sources) - 1) + b''.join(s(x) for x in sources)
ovp += i32(len(targets) - 1) + b''.join(s(x) for x in targets)
ovp += b''.join(i32(x) for x in radio) + i32(1) + i32(0) + s(move)
ovp += i32(len(rows) - 1) + b''.join(s(c) for r in rows for c in r)
open('project.ovp', 'wb').write(ovp)
open('project.ovl', 'wb').write(i32(len(progress)) + b''.join(s(x) for x in progress))

log = ''
for r in rows:
    log += '比較元    ：' + r[0] + '\r\n'
    log += '    サイズ：' + r[1] + '\r\n'
    log += '    日時  ：' + r[2] + '\r\n'
    log += '    大きさ：' + r[3] + 'x' + r[4] + '\r\n'
    log += '比較対象  ：' + r[5] + '\r\n'
    log += '    サイズ：' + r[6] + '\r\n'
    log += '    日時  ：' + r[7] + '\r\n'
    log += '    大きさ：' + r[8] + 'x' + r[9] + '\r\n'
    log += '処理  ：【' + r[10] + '】\r\n'
    log += '-' * 56 + '\r\n'
open('saved_log.txt', 'wb').write(log.encode('cp932'))

def ini(lines):
    return ('\r\n'.join(lines) + '\r\n').encode('cp932')

path_keys = [('Files L', '/h/fl/'), ('Files R', '/h/fr/'), ('Dir L', '/h/dl/'), ('Dir R', '/h/dr/'),
             ('Project', '/h/プロジェクト/'), ('Log', '/h/log/'), ('WorkDir', '/tmp/w'), ('MoveDir', '/h/mv/')]
option_keys = [('Preview', '1'), ('No TMPDel', '0'), ('Chach', '5000'), ('Par', '90'),
               ('Do Find Sound', '0'), ('Do End Sound', '1')]
sounds = [('Find Sound', '/app/Sound/Comp.wav'), ('End  Sound', '/app/Sound/Beep.wav')]
widths = [('%d' % i, '%d' % (100 + i)) for i in range(10)]

fresh = ['[MainWindow]', 'Max=0', 'Left=10', 'Top=20', 'Width=800', 'Height=600', '',
         '[Path]'] + ['%s=%s' % kv for kv in path_keys + sounds] + ['', '[Option]'] + \
        ['%s=%s' % kv for kv in option_keys] + ['List Icon=0', '', '[List]'] + ['%s=%s' % kv for kv in widths]
open('fresh.ini', 'wb').write(ini(fresh))

# A file the pair handler wrote first, then the main program saved maximized.
res = ['[ResWindow]', 'Left=5', 'Top=6', 'Width=700', 'Height=500', 'MoveDir=/h/filer/']
open('reswindow_before.ini', 'wb').write(ini(res))
after = res + ['', '[MainWindow]', 'Max=1', '', '[Path]'] + ['%s=%s' % kv for kv in path_keys + sounds] + \
        ['', '[Option]'] + ['%s=%s' % kv for kv in option_keys] + ['List Icon=0', '', '[List]'] + \
        ['%s=%s' % kv for kv in widths]
open('reswindow_after.ini', 'wb').write(ini(after))

open('Setting0.dat', 'wb').write(ini(['[Set]', 'Name=写真 Set', 'Check SubDir=1', 'Once End=0', 'Check Size=0',
                                      'Do Mode=0', 'A Target=5', 'A Do=2', 'A Doitu=1', 'A TgtDir=/h/移動/']))
