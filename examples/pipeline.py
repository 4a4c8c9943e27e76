"""A short pipeline: build a frame, cut it, read it back."""

import quorvel

f = quorvel.Frame()
f.add_strings("city", ["Oslo", "Lima", "Oslo", "Pune"])
f.add_ints("year", [2023, 2024, 2024, 2023])
f.add_floats("rain_mm", [1.5, 0.25, 2.0, 11.75])
print("frame:", f.height(), "rows,", dict(zip(f.names(), f.dtypes())))

recent = f.tail(3)
print("last three cities:", recent.strings("city"))
print("their rain:", recent.select(["rain_mm"]).floats("rain_mm"))

try:
    f.ints("rain_mm")
except ValueError as error:
    print("reading rain as integers fails:", error)
