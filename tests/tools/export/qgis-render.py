#!/usr/bin/python3
# Renders a raster file as QGIS shows it, headless (QT_QPA_PLATFORM=offscreen):
# one raster layer through QGIS's GDAL provider, the map in Web Mercator over
# an extent at a size, on a transparent background, saved as PNG.
#
#   qgis-render.py RASTER OUT.png XMIN YMIN XMAX YMAX WIDTH HEIGHT
import os
import sys

os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")

from qgis.core import (QgsApplication, QgsCoordinateReferenceSystem, QgsMapRendererSequentialJob, QgsMapSettings,
                       QgsRasterLayer, QgsRectangle)
from qgis.PyQt.QtCore import QSize
from qgis.PyQt.QtGui import QColor


def main():
    if len(sys.argv) != 9:
        sys.exit("usage: qgis-render.py RASTER OUT.png XMIN YMIN XMAX YMAX WIDTH HEIGHT")
    raster, out = sys.argv[1], sys.argv[2]
    xmin, ymin, xmax, ymax = map(float, sys.argv[3:7])
    width, height = int(sys.argv[7]), int(sys.argv[8])
    app = QgsApplication([], False)
    app.initQgis()
    layer = QgsRasterLayer(raster, "layer", "gdal")
    if not layer.isValid():
        sys.exit("QGIS cannot open " + raster)
    settings = QgsMapSettings()
    settings.setLayers([layer])
    settings.setDestinationCrs(QgsCoordinateReferenceSystem("EPSG:3857"))
    settings.setOutputSize(QSize(width, height))
    settings.setExtent(QgsRectangle(xmin, ymin, xmax, ymax))
    settings.setBackgroundColor(QColor(0, 0, 0, 0))
    job = QgsMapRendererSequentialJob(settings)
    job.start()
    job.waitForFinished()
    if not job.renderedImage().save(out, "png"):
        sys.exit("cannot write " + out)
    # The extent QGIS drew (it keeps the pixels square), for the caller.
    e = settings.visibleExtent()
    print("%.9f %.9f %.9f %.9f" % (e.xMinimum(), e.yMinimum(), e.xMaximum(), e.yMaximum()))
    del layer
    app.exitQgis()


main()
