"""A short pipeline: read CSV text, cut the frame, read it back, write CSV text."""

import quorvel

text = """city,year,rain_mm
Oslo,2023,1.5
Lima,2024,0.25
Oslo,2024,
"São Paulo, SP",2023,11.75
"""

f = quorvel.read_csv(text)
print("frame:", f.height(), "rows,", dict(zip(f.names(), f.dtypes())))

recent = f.tail(3)
print("last three cities:", recent.strings("city"))
print("their rain:", recent.select(["rain_mm"]).floats("rain_mm"))

try:
    f.ints("rain_mm")
except ValueError as error:
    print("reading rain as integers fails:", error)

print("as CSV:")
print(recent.to_csv(), end="")
