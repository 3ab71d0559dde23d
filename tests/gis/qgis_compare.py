#!/usr/bin/python3
"""The exported GeoPackage as QGIS itself shows it, against the program's own picture.

Usage: qgis_compare.py VANDREL_DEMO VANDREL_EXPORT VANDREL_RENDER [--keep DIR]

Makes the demo atlas, exports it with its QGIS project, opens the project with QGIS (headless),
renders the whole map and a close view, renders the same extents with vandrel-render, and
compares where each drew: at least 95 % of one picture's drawn pixels must lie within 2 pixels
of a drawn pixel of the other, both ways. Exits 1 when a figure is below, 2 when QGIS cannot
open the project, and prints the figures.
"""
import json
import os
import subprocess
import sys
import tempfile

import numpy as np
from qgis.core import (QgsApplication, QgsCoordinateReferenceSystem, QgsCoordinateTransform,
                       QgsExpressionContext, QgsExpressionContextUtils,
                       QgsMapRendererParallelJob, QgsMapSettings, QgsProject, QgsRectangle,
                       QgsVectorLayer)
from qgis.PyQt.QtCore import QSize
from qgis.PyQt.QtGui import QColor, QImage

WIDTH, HEIGHT = 1200, 900
NEAR = 2          # pixels
REQUIRED = 0.95   # share of drawn pixels near a drawn pixel of the other picture


def drawn(path):
    """The pixels that are not the white ground, as a boolean array."""
    image = QImage(path).convertToFormat(QImage.Format_RGB32)
    pointer = image.constBits()
    pointer.setsize(image.sizeInBytes())
    pixels = np.frombuffer(pointer, np.uint8).reshape(image.height(), image.bytesPerLine() // 4, 4)
    pixels = pixels[:, :image.width(), :3]
    return np.any(pixels < 245, axis=2)


def grown(mask, radius):
    """Every pixel within `radius` (in x and y) of a set pixel."""
    out = mask.copy()
    for dy in range(-radius, radius + 1):
        for dx in range(-radius, radius + 1):
            shifted = np.zeros_like(mask)
            ys = slice(max(dy, 0), mask.shape[0] + min(dy, 0))
            yd = slice(max(-dy, 0), mask.shape[0] + min(-dy, 0))
            xs = slice(max(dx, 0), mask.shape[1] + min(dx, 0))
            xd = slice(max(-dx, 0), mask.shape[1] + min(-dx, 0))
            shifted[ys, xs] = mask[yd, xd]
            out |= shifted
    return out


def near_share(a, b):
    """The share of a's drawn pixels within NEAR pixels of one of b's."""
    count = int(a.sum())
    if count == 0:
        return 0.0
    return float((a & grown(b, NEAR)).sum()) / count


def qgis_picture(project, extent, path, labels, layers=None):
    settings = QgsMapSettings()
    root = project.layerTreeRoot()
    settings.setLayers(layers or [l for l in root.layerOrder() if root.findLayer(l.id()).isVisible()])
    settings.setDestinationCrs(project.crs())
    settings.setOutputSize(QSize(WIDTH, HEIGHT))
    settings.setOutputDpi(96)
    settings.setBackgroundColor(QColor(255, 255, 255))
    settings.setFlag(QgsMapSettings.Antialiasing, False)
    settings.setFlag(QgsMapSettings.DrawLabeling, labels)
    settings.setExtent(QgsRectangle(*extent))
    # The variables QGIS's map canvas gives the styles (@map_scale among them).
    context = QgsExpressionContext()
    context.appendScopes(QgsExpressionContextUtils.globalProjectLayerScopes(None))
    context.appendScope(QgsExpressionContextUtils.mapSettingsScope(settings))
    settings.setExpressionContext(context)
    job = QgsMapRendererParallelJob(settings)
    job.start()
    job.waitForFinished()
    job.renderedImage().save(path)
    return settings.scale()


def gps_points_on_streets(project, gpkg, extent, work):
    """A GPS layer in WGS 84 (a GeoJSON of each street's middle, in degrees) over the exported
    project drawn in its system (UTM 36N): every point lies on its street. True when not."""
    streets = [l for l in project.mapLayers().values() if l.name() == "streets" or
               l.source().endswith("layername=streets")]
    if not streets:
        print("the project has no streets layer")
        return True
    wgs84 = QgsCoordinateReferenceSystem("EPSG:4326")
    to_degrees = QgsCoordinateTransform(streets[0].crs(), wgs84, project)
    features = []
    for street in streets[0].getFeatures():
        line = street.geometry()
        middle = to_degrees.transform(line.interpolate(line.length() / 2).asPoint())
        features.append({"type": "Feature", "properties": {},
                         "geometry": {"type": "Point", "coordinates": [middle.x(), middle.y()]}})
    path = os.path.join(work, "gps.geojson")
    with open(path, "w") as out:
        json.dump({"type": "FeatureCollection", "features": features}, out)
    gps = QgsVectorLayer(path, "gps", "ogr")
    if gps.crs().authid() != "EPSG:4326" or project.crs().authid() != "EPSG:32636":
        print("systems: gps %s, project %s" % (gps.crs().authid(), project.crs().authid()))
        return True
    qgis_picture(project, extent, os.path.join(work, "streets.png"), False, [streets[0]])
    qgis_picture(project, extent, os.path.join(work, "gps.png"), False, [gps])
    lines, points = drawn(os.path.join(work, "streets.png")), drawn(os.path.join(work, "gps.png"))
    share = near_share(points, lines)
    print("GPS points in WGS 84: %d of %d drawn pixels near the streets (%.1f %%)" %
          (int((points & grown(lines, NEAR)).sum()), points.sum(), 100 * share))
    return points.sum() < 4 * len(features) or share < REQUIRED


def main():
    demo, export, render = sys.argv[1:4]
    keep = sys.argv[sys.argv.index("--keep") + 1] if "--keep" in sys.argv else None
    work = keep or tempfile.mkdtemp(prefix="vandrel-qgis-")
    atlas = os.path.join(work, "atlas")
    gpkg = os.path.join(work, "atlas.gpkg")
    subprocess.run([demo, atlas], check=True, stdout=subprocess.DEVNULL)
    if os.path.exists(gpkg):
        os.remove(gpkg)
    subprocess.run([export, "--data-root", atlas, "-o", gpkg, "--crs", "EPSG:32636"], check=True,
                   stdout=subprocess.DEVNULL)

    app = QgsApplication([], False)
    app.initQgis()
    project = QgsProject.instance()
    if not project.read("geopackage:" + gpkg + "?projectName=atlas"):
        print("QGIS cannot open the project in", gpkg)
        return 2
    whole = project.viewSettings().defaultViewExtent()
    cx, cy = whole.center().x(), whole.center().y()
    views = {
        "whole": (whole.xMinimum(), whole.yMinimum(), whole.xMaximum(), whole.yMaximum()),
        # 1 : 2,000 around the centre: wells, hydrants and their signs drawn.
        "close": (cx - 300, cy - 225, cx + 300, cy + 225),
    }
    failed = False
    for name, extent in views.items():
        ours = os.path.join(work, name + "-vandrel.png")
        theirs = os.path.join(work, name + "-qgis.png")
        # Objects only on both sides: a label's place is each program's own choice.
        scale = qgis_picture(project, extent, theirs, labels=False)
        subprocess.run([render, "--data-root", atlas, "--size", "%dx%d" % (WIDTH, HEIGHT),
                        "--extent", "%f,%f,%f,%f" % extent, "--no-labels", "-o", ours],
                       check=True, stdout=subprocess.DEVNULL)
        a, b = drawn(ours), drawn(theirs)
        ours_near, theirs_near = near_share(a, b), near_share(b, a)
        print("%s (1 : %.0f): vandrel %d drawn pixels, %.1f %% near QGIS's; QGIS %d, %.1f %% near "
              "vandrel's" % (name, scale, a.sum(), 100 * ours_near, b.sum(), 100 * theirs_near))
        failed = failed or ours_near < REQUIRED or theirs_near < REQUIRED
        if a.sum() < 1000 or b.sum() < 1000:
            print("%s: too little drawn to compare" % name)
            failed = True
    failed = gps_points_on_streets(project, gpkg, views["whole"], work) or failed
    # Exported without a coordinate system, the atlas's plane in metres: QGIS measures the same
    # scales (a map given none at all would be taken for degrees, its layers' scale windows shut).
    local = os.path.join(work, "local.gpkg")
    if os.path.exists(local):
        os.remove(local)
    subprocess.run([export, "--data-root", atlas, "-o", local], check=True,
                   stdout=subprocess.DEVNULL)
    project.clear()
    if not project.read("geopackage:" + local + "?projectName=local"):
        print("QGIS cannot open the project in", local)
        return 2
    scale = qgis_picture(project, views["close"], os.path.join(work, "close-local.png"), False)
    print("without a coordinate system: the close view at 1 : %.0f" % scale)
    failed = failed or abs(scale / 1889.76 - 1) > 0.01
    app.exitQgis()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
