"""Seed inputs of a fuzz target, from a demo atlas and the corpus of files written by other
programs, packed as the target reads its input (pieces preceded by four-byte lengths)."""

import glob
import os
import struct
import sys


def pieces(*parts):
    out = b""
    for k, part in enumerate(parts):
        if k + 1 < len(parts):
            out += struct.pack("<I", len(part))
        out += part
    return out


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""


def companion(path, extension):
    """The file beside `path` with another extension, in whatever letter case it has."""
    stem = os.path.splitext(path)[0]
    for e in (extension, extension.lower(), extension.upper()):
        if os.path.exists(stem + e):
            return read(stem + e)
    return b""


def files(roots, *patterns):
    found = []
    for root in roots:
        for pattern in patterns:
            found += glob.glob(os.path.join(root, "**", pattern), recursive=True)
    return sorted(set(found))


def seeds(target, atlas, corpus):
    roots = [atlas, corpus]
    if target == "Geometry":
        for path in files(roots, "*.mds", "*.shp"):
            yield pieces(companion(path, ".r"), read(path))
    elif target == "Paradox":
        for path in files(roots, "*.DB", "*.db"):
            yield pieces(companion(path, ".PX"), companion(path, ".MB"), read(path))
    elif target == "Dbase":
        for path in files(roots, "*.dbf", "*.DBF"):
            yield read(path)
    elif target == "Measurements":
        yield b"*Distations*\r\n2\r\nDistation #1\r\n255\r\n0\r\n3\r\n0 0\r\n100 0\r\n100 50\r\n" \
              b"Distation #2\r\n65280\r\n1\r\n4\r\n0 0\r\n10 0\r\n10 10\r\n0 0\r\n"
        yield b"*Distations*\r\n1\r\nDistation #1\r\n0\r\n0\r\n1\r\n-5.5 +7e2\r\n"
    elif target == "Settings":
        yield b"[Options]\r\nWorkMode=1\r\nDataRoot=/srv/atlas\r\n"
        yield b"[MainForm]\r\nLeft=10\r\nWidth=800\r\n[Panels]\r\nVisible=1\r\n; note\r\n"
        yield "[Вікно]\r\nНазва=Карта\r\n".encode("cp1251")
    elif target == "Sql":
        for statement in ["SELECT * FROM T", "SELECT N, S FROM T WHERE N = ? ORDER BY S DESC",
                          "SELECT T.N, U.NAME FROM T, U WHERE T.N = U.CODE",
                          "UPDATE T SET S = 'z' WHERE N = 2", "DELETE FROM T WHERE D < 0",
                          "INSERT INTO T (N, S, D) VALUES (3, :s, 1.25)",
                          'SELECT COUNT(*) FROM "U.DBF" WHERE NAME LIKE \'вул%\'',
                          "SELECT UPPER(S), D * 2 FROM T GROUP BY S HAVING COUNT(*) > 0"]:
            yield statement.encode("utf-8")
    elif target in ("ParamLines", "LabelFile"):
        field = {"ParamLines": b"DIAMETER", "LabelFile": b"NAME"}[target]
        for path in files(roots, "*.mds", "*.shp"):
            yield pieces(field, companion(path, ".dbf"), read(path))
    elif target == "Segments":
        base = os.path.join(atlas, "BASE")
        yield pieces(read(os.path.join(base, "Streets.DB")), read(os.path.join(base, "Streets.PX")),
                     read(os.path.join(base, "StreetDc.db")), read(os.path.join(base, "StreetDc.PX")))
    elif target in ("ObjectIndex", "Topology"):
        base, objects = os.path.join(atlas, "BASE"), os.path.join(atlas, "USER_OBJ")
        tables = [read(os.path.join(objects, "SPIN.DB")), read(os.path.join(objects, "SPIN.PX")),
                  read(os.path.join(base, "classreest.DB")), read(os.path.join(base, "classreest.PX"))]
        if target == "ObjectIndex":
            yield pieces(*tables, read(os.path.join(objects, "spinSewerWells.db")))
        else:
            maps = os.path.join(atlas, "MAPS")
            for name in ("Water", "Kanaliz"):
                yield pieces(read(os.path.join(maps, name + ".dbf")),
                             read(os.path.join(maps, name + ".mds")), *tables)
    else:
        raise SystemExit(f"no seeds for the target {target}")


def main():
    target, out, atlas, corpus = sys.argv[1:5]
    os.makedirs(out, exist_ok=True)
    count = 0
    for k, data in enumerate(seeds(target, atlas, corpus)):
        if len(data) > 8 * 1024 * 1024:
            continue  # the fuzzer is given inputs up to a few MB
        with open(os.path.join(out, f"seed{k:04d}"), "wb") as f:
            f.write(data)
        count += 1
    print(f"{count} seeds for {target} in {out}")


if __name__ == "__main__":
    main()
