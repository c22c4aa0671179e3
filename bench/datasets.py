"""Test data of three kinds for the whole-process comparisons, made
deterministically so runs compare like with like."""
import os
import random

WORDS = ("the of and to in is was for on that with as by at from his her which or had "
         "unit speed sight armour crate village river tower road forest bridge castle "
         "stone iron wood gold harvest winter summer spring autumn army scout knight "
         "archer peasant market smith mill farm field wall gate keep banner").split()


def text_like(size, seed=1):
    """Prose-like lines with a skewed word frequency, as in scripts and configs."""
    rng = random.Random(seed)
    weights = [1.0 / (rank + 1) for rank in range(len(WORDS))]
    out, total = [], 0
    while total < size:
        words = rng.choices(WORDS, weights, k=rng.randint(4, 14))
        line = " ".join(words).capitalize() + (". " if rng.random() < 0.7 else ",\n")
        if rng.random() < 0.1:
            line += "\n[section_%d]\nvalue=%d\n" % (rng.randint(0, 99), rng.randint(0, 9999))
        out.append(line)
        total += len(line)
    return "".join(out).encode()[:size]


def binary(size, seed=2):
    """Machine code and tables: the system's own programs, back to back."""
    out, total = bytearray(), 0
    for folder in ("/usr/bin", "/usr/lib/x86_64-linux-gnu"):
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if os.path.isfile(path) and not os.path.islink(path):
                try:
                    with open(path, "rb") as handle:
                        chunk = handle.read(size - total)
                except OSError:
                    continue
                out += chunk
                total += len(chunk)
                if total >= size:
                    return bytes(out)
    rng = random.Random(seed)
    out += bytes(rng.getrandbits(8) & 0x0F for _ in range(size - total))
    return bytes(out)


def repetitive(size, seed=3):
    """Long runs and repeated records, as in sparse images and padded tables."""
    rng = random.Random(seed)
    record = bytes(rng.getrandbits(8) for _ in range(64))
    out = bytearray()
    while len(out) < size:
        if rng.random() < 0.5:
            out += bytes([rng.getrandbits(8)]) * rng.randint(100, 4000)
        else:
            out += record * rng.randint(5, 50)
    return bytes(out[:size])


KINDS = {"text": text_like, "binary": binary, "repetitive": repetitive}
