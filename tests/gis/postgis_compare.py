#!/usr/bin/python3
"""Layers from a real PostGIS server draw and pick as the atlas's own files do.

Usage: postgis_compare.py VANDREL_DEMO VANDREL_RENDER VANDREL_TABLES VANDREL [--keep DIR]

Starts PostgreSQL (Debian's postgresql-15 with PostGIS) on a socket in a temporary folder,
loads the demo atlas's water and sewer pipes and its buildings into it with ogr2ogr, and makes
two atlases that differ only in where those three layers come from: their geometry files, or
the server (kinds 13 and 15, "PG:...|layername=..."). Both are drawn by vandrel-render at two
views and must give the same picture; vandrel --identify at points on pipes and buildings must
find the same objects. Then the server is stopped: the server's layers are said to have failed
and the rest of the map draws as it does without them. Exits 1 on a difference, 2 when the
server cannot be started.
"""
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np
from osgeo import ogr
from qgis.PyQt.QtGui import QImage

PG_BIN = "/usr/lib/postgresql/15/bin"
PORT = "5439"
SIZE = (1000, 750)
# The layers served: (geometry file, table, category, class, kind when served).
SERVED = [("Water", "water", 101, 1, 13), ("Kanaliz", "kanaliz", 102, 1, 13),
          ("Buildings", "buildings", 2, 1, 15)]


def as_server_owner(command):
    """initdb and postgres refuse to run as root: as root, they run as the postgres user."""
    return (["runuser", "-u", "postgres", "--"] + command) if os.geteuid() == 0 else command


def run(command, **kwargs):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, **kwargs)


def pixels(path):
    image = QImage(path).convertToFormat(QImage.Format_RGB32)
    pointer = image.constBits()
    pointer.setsize(image.sizeInBytes())
    rows = np.frombuffer(pointer, np.uint8).reshape(image.height(), image.bytesPerLine() // 4, 4)
    return rows[:, :image.width(), :3].copy()


def differing(a, b):
    return int(np.any(pixels(a) != pixels(b), axis=2).sum())


def sql(tables, atlas, statement):
    run([tables, "sql", os.path.join(atlas, "BASE"), statement])


class Server:
    def __init__(self, work):
        self.data = os.path.join(work, "pgdata")
        self.socket = os.path.join(work, "socket")
        os.makedirs(self.socket)
        if os.geteuid() == 0:
            shutil.chown(work, "postgres")
            shutil.chown(self.socket, "postgres")
        run(as_server_owner([PG_BIN + "/initdb", "-D", self.data, "-A", "trust", "-U", "postgres",
                             "-E", "UTF8", "--locale=C", "--no-sync"]))
        self.start()
        run([PG_BIN + "/createdb", "-h", self.socket, "-p", PORT, "-U", "postgres", "atlas"])
        run(["psql", "-h", self.socket, "-p", PORT, "-U", "postgres", "-d", "atlas", "-q", "-c",
             "CREATE EXTENSION postgis"])
        self.connection = "PG:host=%s port=%s dbname=atlas user=postgres" % (self.socket, PORT)

    def start(self):
        run(as_server_owner([PG_BIN + "/pg_ctl", "-D", self.data, "-w", "-l",
                             os.path.join(self.data, "log"), "-o",
                             "-k %s -p %s -c listen_addresses=''" % (self.socket, PORT),
                             "start"]))

    def stop(self):
        subprocess.run(as_server_owner([PG_BIN + "/pg_ctl", "-D", self.data, "-w", "-m", "fast",
                                        "stop"]), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def load(server, files, work):
    """The geometry files with their attribute tables, into the server, record numbers kept."""
    shapes = os.path.join(work, "shapes")
    os.makedirs(shapes, exist_ok=True)
    for name, table, _, _, _ in SERVED:
        shutil.copy(os.path.join(files, "MAPS", name + ".mds"), os.path.join(shapes, table + ".shp"))
        shutil.copy(os.path.join(files, "MAPS", name + ".dbf"), os.path.join(shapes, table + ".dbf"))
        run(["ogr2ogr", "--config", "SHAPE_RESTORE_SHX", "YES", "-f", "PostgreSQL",
             server.connection, os.path.join(shapes, table + ".shp"), "-nln", table,
             "-preserve_fid", "-nlt", "PROMOTE_TO_MULTI", "-lco", "GEOMETRY_NAME=geom",
             "-lco", "FID=fid", "-lco", "LAUNDER=NO"])


def pick_points(server):
    """Places on the served objects: the middle of a pipe's first segment, a point inside a
    building."""
    data = ogr.Open(server.connection.replace("PG:", "PG:", 1))
    points = []
    for table, count in (("water", 4), ("kanaliz", 4), ("buildings", 4)):
        layer = data.GetLayerByName(table)
        step = max(1, layer.GetFeatureCount() // count)
        for k, feature in enumerate(layer):
            if k % step:
                continue
            shape = feature.GetGeometryRef()
            if table == "buildings":
                inside = shape.PointOnSurface()
                points.append((inside.GetX(), inside.GetY()))
            else:
                line = shape.GetGeometryRef(0)
                points.append(((line.GetX(0) + line.GetX(1)) / 2, (line.GetY(0) + line.GetY(1)) / 2))
    return points


def identified(program, atlas, x, y):
    """The objects vandrel --identify lists: (layer, object number) and the street fields."""
    out = run([program, "--identify", "%f,%f" % (x, y), "--scale", "1000", "--data-root", atlas],
              env=dict(os.environ, QT_QPA_PLATFORM="offscreen")).stdout
    found = []
    for line in out.splitlines():
        if not line.startswith(" "):
            layer = line.split(" (")[0]
            number = line.split(":")[-1].strip()
            found.append((layer, number))
        elif line.strip().startswith("STREET="):
            found.append(("", line.strip()))
    return found


def main():
    demo, render, tables, program = sys.argv[1:5]
    keep = sys.argv[sys.argv.index("--keep") + 1] if "--keep" in sys.argv else None
    work = keep or tempfile.mkdtemp(prefix="vandrel-postgis-")
    os.makedirs(work, exist_ok=True)
    os.chmod(work, 0o755)
    try:
        server = Server(os.path.join(work, "server"))
    except subprocess.CalledProcessError as e:
        print("PostgreSQL cannot be started:", e.stderr)
        return 2
    failed = False
    try:
        files = os.path.join(work, "files")
        served = os.path.join(work, "served")
        hidden = os.path.join(work, "hidden")
        run([demo, files])
        # The served layers drawn with the layer's own pen and brush in both atlases (a style
        # file is the geometry file's companion, which a server's table has not).
        for name, table, category, cls, kind in SERVED:
            sql(tables, files, "UPDATE classreest SET RenderType = 0, PrimitiveType = %d "
                "WHERE Category = %d AND Class = %d" % (kind - 10, category, cls))
        shutil.copytree(files, served)
        shutil.copytree(files, hidden)
        for name, table, category, cls, kind in SERVED:
            sql(tables, served, "UPDATE classreest SET PrimitiveType = %d, FileName = '%s' "
                "WHERE Category = %d AND Class = %d"
                % (kind, server.connection + "|layername=" + table, category, cls))
            sql(tables, hidden, "UPDATE classreest SET Visibled = FALSE "
                "WHERE Category = %d AND Class = %d" % (category, cls))
        load(server, files, work)

        whole = None
        views = {"whole": None}
        for name, extent in list(views.items()) + [("close", "close")]:
            args = ["--size", "%dx%d" % SIZE]
            if extent == "close":
                x, y = pick_points(server)[0]
                args += ["--extent", "%f,%f,%f,%f" % (x - 250, y - 187.5, x + 250, y + 187.5)]
            pictures = {}
            for atlas in (files, served):
                out = os.path.join(work, "%s-%s.png" % (name, os.path.basename(atlas)))
                result = subprocess.run([render, "--data-root", atlas, "-o", out] + args,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                        text=True)
                said = [line for line in result.stderr.splitlines()
                        if line.strip() and not line.startswith("QStandardPaths:")]
                if result.returncode != 0 or said:
                    print("%s: vandrel-render said: %s" % (atlas, "\n".join(said)))
                    failed = True
                pictures[atlas] = out
            different = differing(pictures[files], pictures[served])
            print("%s: %d of %d pixels differ between the files and the server"
                  % (name, different, SIZE[0] * SIZE[1]))
            failed = failed or different > 0

        points = pick_points(server)
        same = 0
        for x, y in points:
            ours, theirs = identified(program, files, x, y), identified(program, served, x, y)
            if ours != theirs or not ours:
                print("at %.2f,%.2f: files %s, server %s" % (x, y, ours, theirs))
                failed = True
            else:
                same += 1
        print("picks: %d of %d places found the same objects" % (same, len(points)))

        # The server stops: its layers fail with their reason, the rest of the map draws (at the
        # close view: the whole map's extent is the union of the layers that loaded).
        server.stop()
        stopped = os.path.join(work, "stopped.png")
        without = os.path.join(work, "without.png")
        x, y = points[0]
        close = ["--size", "%dx%d" % SIZE,
                 "--extent", "%f,%f,%f,%f" % (x - 250, y - 187.5, x + 250, y + 187.5)]
        result = subprocess.run([render, "--data-root", served, "-o", stopped] + close,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        run([render, "--data-root", hidden, "-o", without] + close)
        said = result.stderr
        for name in ("Водопровідні мережі", "Каналізаційні мережі", "Будинки"):
            if name not in said:
                print("the failure of %s is not said: %s" % (name, said))
                failed = True
        different = differing(stopped, without)
        print("server stopped: exit %d, %d pixels differ from the map without its layers; said:\n%s"
              % (result.returncode, different, said.strip()))
        # vandrel-render says a layer that could not be loaded with exit status 1.
        failed = failed or result.returncode != 1 or different > 0
    finally:
        server.stop()
        if not keep:
            shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
