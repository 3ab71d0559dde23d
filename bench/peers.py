"""The peer comparison of bench/peers.sh: prepares the two cities, writes a MapServer map file
for each, and times every renderer on every layer set and view."""

import argparse
import math
import os
import random
import re
import shutil
import statistics
import struct
import subprocess
import time

WIDTH, HEIGHT = 1920, 1080
RUNS = 5
# Layer sets: (title, layers of the atlas by file, MapServer layer names).
SETS = [
    ("pipes", ["Kanaliz.mds"], ["pipes"]),
    ("buildings", ["Buildings.mds"], ["buildings"]),
    ("nodes (points)", ["address.mds"], ["nodes"]),
    ("all three", ["Kanaliz.mds", "Buildings.mds", "address.mds"], ["buildings", "pipes", "nodes"]),
]
SHAPES = {"Kanaliz.mds": "pipes", "Buildings.mds": "buildings", "address.mds": "nodes"}


# ---------------------------------------------------------------- shapefiles


def shape_records(path):
    """(offset in 16-bit words, content length in words) of every record of a shapefile-layout
    file."""
    data = open(path, "rb").read()
    records, at = [], 100
    while at + 8 <= len(data):
        length = struct.unpack(">i", data[at + 4 : at + 8])[0]
        records.append((at // 2, length))
        at += 8 + 2 * length
    return data[:100], records


def write_shx(shp, shx):
    header, records = shape_records(shp)
    with open(shx, "wb") as f:
        f.write(header[:24] + struct.pack(">i", (100 + 8 * len(records)) // 2) + header[28:100])
        for offset, length in records:
            f.write(struct.pack(">ii", offset, length))


def header(shape_type, length_words, box):
    return (
        struct.pack(">i", 9994)
        + b"\0" * 20
        + struct.pack(">i", length_words)
        + struct.pack("<ii", 1000, shape_type)
        + struct.pack("<4d", *box)
        + b"\0" * 32
    )


def write_dbf(path, count):
    """A dBase III table of one numeric field ID, numbered from 1."""
    with open(path, "wb") as f:
        f.write(struct.pack("<BBBBIHH", 3, 126, 12, 7, count, 32 + 32 + 1, 1 + 10) + b"\0" * 20)
        f.write(b"ID".ljust(11, b"\0") + b"N" + b"\0" * 4 + bytes([10, 0]) + b"\0" * 14)
        f.write(b"\r")
        for i in range(count):
            f.write(b" " + str(i + 1).rjust(10).encode())
        f.write(b"\x1a")


def write_shapes(path, shape_type, shapes):
    """Writes `shapes` (lists of parts of (x, y) points; points as one point) with their index
    and attribute table."""
    body = []
    xs, ys = [], []
    for number, parts in enumerate(shapes, 1):
        points = [p for part in parts for p in part]
        px, py = [p[0] for p in points], [p[1] for p in points]
        xs += [min(px), max(px)]
        ys += [min(py), max(py)]
        if shape_type == 1:
            content = struct.pack("<i2d", 1, *points[0])
        else:
            content = struct.pack("<i4d2i", shape_type, min(px), min(py), max(px), max(py),
                                  len(parts), len(points))
            start = 0
            for part in parts:
                content += struct.pack("<i", start)
                start += len(part)
            content += b"".join(struct.pack("<2d", *p) for p in points)
        body.append(struct.pack(">ii", number, len(content) // 2) + content)
    data = b"".join(body)
    box = (min(xs), min(ys), max(xs), max(ys))
    with open(path + ".shp", "wb") as f:
        f.write(header(shape_type, (100 + len(data)) // 2, box) + data)
    write_shx(path + ".shp", path + ".shx")
    write_dbf(path + ".dbf", len(shapes))


def own_city(directory, box):
    """200,000 pipes of about 2.2 million vertices, 100,000 buildings and 200,000 nodes over
    `box`, written as plain shapefiles."""
    rng = random.Random(20)
    x0, y0, x1, y1 = box
    pipes = []
    for _ in range(200_000):
        x, y = rng.uniform(x0, x1), rng.uniform(y0, y1)
        heading = rng.uniform(0, 2 * math.pi)
        points = [(x, y)]
        for _ in range(10):
            heading += rng.uniform(-0.4, 0.4)
            x = min(max(x + 12 * math.cos(heading), x0), x1)
            y = min(max(y + 12 * math.sin(heading), y0), y1)
            points.append((x, y))
        pipes.append([points])
    buildings = []
    for _ in range(100_000):
        x, y = rng.uniform(x0, x1 - 40), rng.uniform(y0, y1 - 40)
        w, h = rng.uniform(8, 40), rng.uniform(8, 40)
        buildings.append([[(x, y), (x, y + h), (x + w, y + h), (x + w, y), (x, y)]])
    nodes = [[[(rng.uniform(x0, x1), rng.uniform(y0, y1))]] for _ in range(200_000)]
    os.makedirs(directory, exist_ok=True)
    write_shapes(os.path.join(directory, "pipes"), 3, pipes)
    write_shapes(os.path.join(directory, "buildings"), 5, buildings)
    write_shapes(os.path.join(directory, "nodes"), 1, nodes)


# ---------------------------------------------------------------- atlases and map files


def sql(tables, base, statement):
    subprocess.run([tables, "sql", base, statement], check=True, capture_output=True)


def layers_only(tables, atlas, files):
    """Shows only the layers of `files`, at every scale, without labels, each in one style: the
    pipes one pixel wide, the buildings filled and outlined, the nodes as small circles."""
    base = os.path.join(atlas, "BASE")
    sql(tables, base, "UPDATE classreest SET Visibled = FALSE")
    for f in files:
        sql(tables, base, "UPDATE classreest SET Visibled = TRUE, ZoomInScale = 0, ZoomOutScale = 0, "
            f"VisibleLabel = FALSE, RenderType = 0, Shadow = 0, PenWidth = 1, CharLabel = '', "
            "CharFontSize = 6 "
            f"WHERE FileName = '{f}' AND PrimitiveType < 20")


def map_file(path, shapes, box):
    layers = {
        "buildings": ("POLYGON", "COLOR 234 224 211\n OUTLINECOLOR 80 80 80"),
        "pipes": ("LINE", "COLOR 144 96 32\n WIDTH 1"),
        "nodes": ("POINT", "SYMBOL 'circle'\n SIZE 6\n COLOR 0 0 0"),
    }
    text = f"""MAP
  SIZE {WIDTH} {HEIGHT}
  EXTENT {box[0]} {box[1]} {box[2]} {box[3]}
  IMAGECOLOR 255 255 255
  OUTPUTFORMAT
    NAME "png"
    DRIVER AGG/PNG
    IMAGEMODE RGB
    FORMATOPTION "COMPRESSION=1"
  END
  SYMBOL
    NAME "circle"
    TYPE ELLIPSE
    FILLED TRUE
    POINTS 1 1 END
  END
"""
    for name, (kind, style) in layers.items():
        text += f"""  LAYER
    NAME "{name}"
    TYPE {kind}
    STATUS OFF
    DATA "{shapes[name]}"
    CLASS
      STYLE
        {style}
      END
    END
  END
"""
    open(path, "w").write(text + "END\n")


# ---------------------------------------------------------------- timing


def median_seconds(command):
    times = []
    for _ in range(RUNS):
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def median_ours(command):
    """The whole process's seconds and the drawing's milliseconds (from --timings), medians."""
    times, draws = [], []
    for _ in range(RUNS):
        start = time.perf_counter()
        run = subprocess.run(command + ["--timings"], check=True, capture_output=True, text=True)
        times.append(time.perf_counter() - start)
        draws.append(float(re.search(r"draw ([0-9.]+) ms", run.stderr).group(1)))
    return statistics.median(times), statistics.median(draws)


def sixteenth(box):
    cx, cy = (box[0] + box[2]) / 2, (box[1] + box[3]) / 2
    w, h = (box[2] - box[0]) / 8, (box[3] - box[1]) / 8
    return (cx - w, cy - h, cx + w, cy + h)


def fitted(box):
    """The extent of `box` widened to the picture's aspect, centred, as every renderer fits it."""
    w, h = box[2] - box[0], box[3] - box[1]
    scale = max(w / WIDTH, h / HEIGHT)
    cx, cy = (box[0] + box[2]) / 2, (box[1] + box[3]) / 2
    return (cx - scale * WIDTH / 2, cy - scale * HEIGHT / 2, cx + scale * WIDTH / 2,
            cy + scale * HEIGHT / 2)


def compare(title, atlas, shapes, args, work):
    box = fitted(header_box(shapes["pipes"]))
    mapfile = os.path.join(work, title + ".map")
    map_file(mapfile, shapes, box)
    print(f"\n{title}: {WIDTH} x {HEIGHT}, median of {RUNS} whole-process runs, seconds")
    print(f"{'layers, view':<28}{'vandrel':>9}{'map2img':>9}{'gdal':>9}{'v/map2img':>11}"
          f"{'v/gdal':>8}{'v draw ms':>11}")
    for name, files, ms_layers in SETS:
        layers_only(args.tables, atlas, files)
        for view_name, view in (("whole map", box), ("1/16", sixteenth(box))):
            e = ",".join(repr(v) for v in view)
            ours, draw = median_ours([args.render, "--data-root", atlas, "--size",
                                      f"{WIDTH}x{HEIGHT}", "--extent", e, "-o",
                                      os.path.join(work, "v.png")])
            theirs = median_seconds(["map2img", "-m", mapfile, "-o", os.path.join(work, "m.png"),
                                     "-l", " ".join(ms_layers), "-e", *map(repr, view),
                                     "-s", str(WIDTH), str(HEIGHT)])
            gdal = None
            if view_name == "whole map":
                command = ["gdal_rasterize", "-q", "-init", "255", "-burn", "0", "-ot", "Byte",
                           "-of", "GTiff", "-ts", str(WIDTH), str(HEIGHT), "-te", *map(repr, view)]
                for layer in ms_layers:
                    command += ["-l", layer]
                command += [os.path.dirname(shapes["pipes"]), os.path.join(work, "g.tif")]
                if os.path.exists(os.path.join(work, "g.tif")):
                    os.remove(os.path.join(work, "g.tif"))
                gdal = median_seconds(command)
            line = f"{name + ', ' + view_name:<28}{ours:>9.3f}{theirs:>9.3f}"
            line += f"{gdal:>9.3f}" if gdal else f"{'-':>9}"
            line += f"{ours / theirs:>11.2f}"
            line += f"{ours / gdal:>8.2f}" if gdal else f"{'-':>8}"
            line += f"{draw:>11.1f}"
            print(line, flush=True)


def header_box(shp):
    with open(shp, "rb") as f:
        return struct.unpack("<4d", f.read(100)[36:68])


def main():
    parser = argparse.ArgumentParser()
    for option in ("--work", "--render", "--demo", "--tables"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    work = args.work
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    # The demo city: its geometry files seen by the peers as shapefiles of their own names.
    demo = os.path.join(work, "demo")
    subprocess.run([args.demo, demo, "--scale", "100"], check=True, capture_output=True)
    demo_shapes = os.path.join(work, "demo-shapes")
    os.makedirs(demo_shapes)
    for f, name in SHAPES.items():
        stem = os.path.join(demo, "MAPS", f[:-4])
        os.symlink(stem + ".mds", os.path.join(demo_shapes, name + ".shp"))
        os.symlink(stem + ".dbf", os.path.join(demo_shapes, name + ".dbf"))
        write_shx(stem + ".mds", os.path.join(demo_shapes, name + ".shx"))
    compare("demo city", demo, {n: os.path.join(demo_shapes, n + ".shp") for n in SHAPES.values()},
            args, work)

    # The script's own city over the same ground, put into a copy of the demo atlas in place of
    # its pipes, buildings and address points.
    own = os.path.join(work, "own-shapes")
    own_city(own, header_box(os.path.join(demo, "MAPS", "Kanaliz.mds")))
    atlas = os.path.join(work, "own")
    shutil.copytree(demo, atlas, symlinks=True)
    for f, name in SHAPES.items():
        stem = os.path.join(atlas, "MAPS", f[:-4])
        shutil.copy(os.path.join(own, name + ".shp"), stem + ".mds")
        shutil.copy(os.path.join(own, name + ".dbf"), stem + ".dbf")
    compare("own city", atlas, {n: os.path.join(own, n + ".shp") for n in SHAPES.values()}, args,
            work)


if __name__ == "__main__":
    main()
