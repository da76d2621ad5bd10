#!/usr/bin/python3
"""Reads a file of maps with tifffile, a reader that nobody here wrote, and prints what a
test compares, as JSON: the array's type and shape, the page names, the OME-XML's channel
names, physical pixel size and annotations, and at each point given as "x,y" (fractions of
the width and height) the median and standard deviation of every page over the 7 x 7
pixels around it."""
import json
import sys
import xml.etree.ElementTree as ET

import numpy as np
import tifffile

OME = {"o": "http://www.openmicroscopy.org/Schemas/OME/2016-06"}

with tifffile.TiffFile(sys.argv[1]) as tif:
    data = tif.asarray()
    pages = [p.aspage() for p in tif.pages]
    names = [p.tags["PageName"].value if "PageName" in p.tags else None for p in pages]
    out = {"is_ome": tif.is_ome, "dtype": str(data.dtype), "shape": list(data.shape),
           "page_names": names}
    root = ET.fromstring(tif.ome_metadata)
pixels = root.find("o:Image/o:Pixels", OME)
out["channels"] = [c.get("Name") for c in pixels.findall("o:Channel", OME)]
out["physical_size_x"] = pixels.get("PhysicalSizeX")
out["physical_size_unit"] = pixels.get("PhysicalSizeXUnit")
out["annotations"] = {m.get("K"): m.text or "" for m in root.iterfind(".//o:M", OME)}
out["at"] = []
pages, height, width = data.shape
for point in sys.argv[2:]:
    fx, fy = (float(v) for v in point.split(","))
    x, y = int(fx * width), int(fy * height)
    patch = data[:, y - 3:y + 4, x - 3:x + 4].reshape(pages, -1).astype(np.float64)
    median, spread = [], []
    for name, values in zip(out["channels"], patch):
        values = values[np.isfinite(values)]
        if name == "phi" and values.size:
            # an axis: 179.9 and 0.1 degrees lie 0.2 apart, so its deviations are taken
            # from its mean direction
            doubled = np.radians(2 * values)
            centre = np.degrees(np.arctan2(np.sin(doubled).sum(), np.cos(doubled).sum())) / 2
            values = centre + (values - centre + 90) % 180 - 90
        median.append(float(np.median(values)) if values.size else None)
        spread.append(float(np.std(values)) if values.size > 1 else None)
    out["at"].append({"median": median, "spread": spread})
json.dump(out, sys.stdout)
