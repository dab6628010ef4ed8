#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Mutates real games (bounded, seeded) and counts the mutants on which
# kbbench db-import + db-export and pgn-extract agree: the same games, with
# the same moves, comments and tags (every tag), as pgn-extract reads from
# the mutant itself. Only mutants that pgn-extract reads without a message
# count. The export is read back by kbbench too: imported again, it must
# give the same export.
#   fuzz/db_peer_compare.py KBBENCH TESTDATA_PGN_DIR COUNT [SEED]
import os, random, re, subprocess, sys, tempfile, collections

kbbench, pgndir, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
seed = int(sys.argv[4]) if len(sys.argv) > 4 else 1
rng = random.Random(seed)
PE = 'pgn-extract'
for d in ('/usr/games', '/usr/bin'):
    if os.path.exists(os.path.join(d, 'pgn-extract')):
        PE = os.path.join(d, 'pgn-extract')

def games_of(text):
    parts = re.split(r'(?m)^(?=\[Event )', text)
    return [p for p in parts if p.strip()]

games = []
for name in sorted(os.listdir(pgndir)):
    if name.endswith('.pgn'):
        with open(os.path.join(pgndir, name), 'rb') as f:
            games += games_of(f.read().decode('latin-1'))

SIGNS = list('{}()[]"$;%*.-+#!?=/\\| \n\t0123456789') + ['1-0', '0-1', '1/2-1/2', 'O-O', 'e4', 'Nf3',
        '{c}', '$1', '(1. d4)', '[X "y"]', '[Event "E"]', '\n[Event "e"]\n', '\r\n', '%x\n', ';x\n']

def mutate(text):
    kind = rng.randrange(8)
    b = list(text)
    if kind == 0:  # tags joined on one line, moves on the last tag's line
        joined = re.sub(r'\][ \t]*\r?\n(?=\[)', '] ', text, count=rng.randrange(1, 30))
        return re.sub(r'"\][ \t]*\r?\n\r?\n', '"] ', joined, count=rng.randrange(2))
    if kind == 1:  # two comments after a move
        return re.sub(r'(\d+\. ?\S+)', r'\1 {one} {two}', text, count=rng.randrange(1, 4))
    if kind == 2:  # a strange result or date
        v = rng.choice(['{oops', '?', '(', 'won', '1-0 x', '', '0975.01.02', '0042.??.??', '}'])
        tag = rng.choice(['Result', 'Date'])
        return re.sub(r'\[%s "[^"]*"\]' % tag, '[%s "%s"]' % (tag, v.replace('\\', '')), text)
    for _ in range(rng.randrange(1, 6)):  # byte-level edits
        if not b:
            break
        i = rng.randrange(len(b))
        op = rng.randrange(3)
        if op == 0:
            del b[i:i + rng.randrange(1, 8)]
        elif op == 1:
            b.insert(i, rng.choice(SIGNS))
        else:
            b[i] = rng.choice(SIGNS)
    return ''.join(b)

def run(argv, data=None):
    p = subprocess.run(argv, input=data, capture_output=True)
    return p.returncode, p.stdout.decode('latin-1'), p.stderr.decode('latin-1')

ROSTER = ('Event', 'Site', 'Date', 'Round', 'White', 'Black', 'Result')

def tag_name(line):
    return re.match(r'\[(\S*)', line).group(1)

def peer_games(text):
    """Per game: the seven roster tags in order, every other tag (sorted:
    the order of other tags is each writer's own) and the moves."""
    out = []
    for g in games_of(text):
        lines = g.rstrip().split('\n')
        # A Date that is no date is written as an unknown one.
        tags = [l if not l.startswith('[Date ') or re.match(r'\[Date "[0-9?]{4}\.[0-9?]{2}\.[0-9?]{2}"\]$', l)
                else '[Date "????.??.??"]' for l in lines if l.startswith('[')]
        roster = tuple(l for l in tags if tag_name(l) in ROSTER)
        others = tuple(sorted(l for l in tags if tag_name(l) not in ROSTER))
        moves = ' '.join(l for l in lines if l and not l.startswith('['))
        moves = moves.rsplit(' ', 1)[0] if ' ' in moves else ''  # the game end aside
        out.append((roster + others, moves))
    return out

def quiet(tags):
    """The tags without those that say nothing: an unknown EventDate, an
    other tag with an empty value."""
    return tuple(t for t in tags if t != '[EventDate "????.??.??"]' and
                 not (tag_name(t) not in ROSTER and t.endswith(' ""]')))

def without_seconds(text):
    return text[:text.rfind('seconds\t')] if 'seconds\t' in text else text

stats = collections.Counter()
examples = collections.defaultdict(list)
with tempfile.TemporaryDirectory() as tmp:
    src, kbf = os.path.join(tmp, 'm.pgn'), os.path.join(tmp, 'm.kbf')
    for n in range(count):
        base = ''.join(rng.choice(games) for _ in range(rng.randrange(1, 4)))
        m = mutate(base)
        data = m.encode('latin-1')
        rc, a, ea = run([PE, '-s', '-w', '100000'], data)
        if ea.strip() or rc != 0:
            stats['pgn-extract complains'] += 1
            continue
        for f in (kbf, kbf + 'idx', kbf + 'tmp'):
            if os.path.exists(f):
                os.remove(f)
        with open(src, 'wb') as f:
            f.write(data)
        irc, _, ie = run([kbbench, 'db-import', src, kbf])
        if irc != 0:
            why = 'we cannot read a game it reads' if 'cannot be read' in ie else 'import refused'
            stats[why] += 1
            if len(examples[why]) < 3:
                path = os.path.join('/tmp', 'dbpeer-unread-%d.pgn' % n)
                with open(path, 'wb') as f:
                    f.write(data)
                examples[why].append(path + ' ' + ie.strip()[:200])
            continue
        erc, e, _ = run([kbbench, 'db-export', kbf])
        e = without_seconds(e)
        # The export read back by the program itself: imported again, the same export.
        back = os.path.join(tmp, 'back')
        with open(back + '.pgn', 'wb') as f:
            f.write(e.encode('latin-1'))
        for f in (back + '.kbf', back + '.kbfidx', back + '.kbftmp'):
            if os.path.exists(f):
                os.remove(f)
        rrc, _, re_ = run([kbbench, 'db-import', back + '.pgn', back + '.kbf'])
        _, e2, _ = run([kbbench, 'db-export', back + '.kbf'])
        if rrc != 0 or without_seconds(e2) != e:
            stats['our export reads back otherwise'] += 1
            if len(examples['our export reads back otherwise']) < 3:
                path = os.path.join('/tmp', 'dbpeer-readback-%d.pgn' % n)
                with open(path, 'wb') as f:
                    f.write(data)
                examples['our export reads back otherwise'].append(path + ' ' + re_.strip()[:160])
            continue
        brc, b, eb = run([PE, '-s', '-w', '100000'], e.encode('latin-1'))
        pa, pb = peer_games(a), peer_games(b)
        if pa == pb and not eb.strip():
            stats['agree'] += 1
        else:
            results = ('[Result "1-0"]', '[Result "0-1"]', '[Result "1/2-1/2"]', '[Result "*"]')
            srcresults = re.findall(r'\[Result "[^"]*"\]', m)
            strange = len(srcresults) < len(pa) or any(r not in results for r in srcresults)
            if len(pa) != len(pb):
                # Games start at an "[Event " line here; pgn-extract starts one at any tag line after a game.
                why = 'game count (where a game starts)'
            elif 'Result of * is inconsistent' in eb or (strange and [
                    tuple(t for t in quiet(x[0]) if not t.startswith('[Result ')) for x in pa] == [
                    tuple(t for t in quiet(x[0]) if not t.startswith('[Result ')) for x in pb] and [
                    x[1] for x in pa] == [x[1] for x in pb]):
                why = 'result tag that is no game result'
            elif eb.strip():
                why = 'pgn-extract complains about ours'
            elif [quiet(x[0]) for x in pa] == [quiet(x[0]) for x in pb]:
                # The record reader writes an unknown EventDate; an empty tag is not kept.
                why = 'unknown EventDate, or an empty tag'
            elif [x[0] for x in pa] != [x[0] for x in pb]:
                ta = [t for x in pa for t in x[0]]
                tb = [t for x in pb for t in x[0]]
                diff = [(a, b) for a, b in zip(ta, tb) if a != b]
                if all(a.replace('\\\\', '\\') == b.replace('\\\\', '\\') for a, b in diff):
                    why = 'tag value with a backslash, escaped'
                elif all(a.startswith('[Date ') for a, b in diff):
                    why = 'Date text that is no date'
                elif all(b in ('[White "N.N."]', '[Black "N.N."]', '[Site "?"]', '[Event "?"]')
                         for a, b in diff):
                    why = 'missing or empty tag written as N.N. or ?'
                else:
                    why = 'tags'
            elif [re.sub(r' \$\d*', '', x[1]) for x in pa] == [x[1] for x in pb]:
                why = 'annotation apart from its move'
            else:
                why = 'moves or comments'
            stats['disagree: ' + why] += 1
            if len(examples[why]) < 3:
                path = os.path.join('/tmp', 'dbpeer-%s-%d.pgn' % (why.replace(' ', '_'), n))
                with open(path, 'wb') as f:
                    f.write(data)
                examples[why].append(path + ' ' + (eb.strip()[:160]))
for k, v in sorted(stats.items()):
    print('%-40s %d' % (k, v))
for k, v in examples.items():
    for x in v:
        print('example', k, ':', x)
