"""A short pipeline: build a frame, cut, filter and sort it, read it back."""

import quorvel

f = quorvel.Frame()
f.add_strings("city", ["Oslo", "Lima", "Oslo", "Pune"])
f.add_ints("year", [2023, 2024, 2024, 2023])
f.add_floats("rain_mm", [1.5, 0.25, 2.0, 11.75])
f.add_strings("day", ["2023-11-02", "2024-03-15", "2024-07-30", "2023-08-09"])
f.add_date_part("month", "day", "month")
print("frame:", f.height(), "rows,", dict(zip(f.names(), f.dtypes())))

recent = f.tail(3)
print("last three cities:", recent.strings("city"))
print("their rain:", recent.select(["rain_mm"]).floats("rain_mm"))

wet = f.where_gt("rain_mm", 1).sort("rain_mm", True)
print("wet days, wettest first:", wet.strings("city"), "in months", wet.ints("month"))
print("Oslo or Pune in 2023:", f.where_in("city", ["Oslo", "Pune"]).where_eq("year", 2023).height(), "rows")

try:
    f.ints("rain_mm")
except ValueError as error:
    print("reading rain as integers fails:", error)
