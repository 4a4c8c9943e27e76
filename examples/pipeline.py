"""A short pipeline: read CSV text, cut, filter and sort the frame, read it back, write CSV."""

import quorvel

text = """city,year,rain_mm,day
Oslo,2023,1.5,2023-11-02
Lima,2024,0.25,2024-03-15
Oslo,2024,2.0,2024-07-30
"Pune, MH",2023,11.75,2023-08-09
"""

f = quorvel.read_csv(text)
f.add_date_part("month", "day", "month")
print("frame:", f.height(), "rows,", dict(zip(f.names(), f.dtypes())))

recent = f.tail(3)
print("last three cities:", recent.strings("city"))
print("their rain:", recent.select(["rain_mm"]).floats("rain_mm"))

wet = f.where_gt("rain_mm", 1).sort("rain_mm", True)
print("wet days, wettest first:", wet.strings("city"), "in months", wet.ints("month"))
print("Oslo or Pune in 2023:", f.where_in("city", ["Oslo", "Pune, MH"]).where_eq("year", 2023).height(), "rows")

try:
    f.ints("rain_mm")
except ValueError as error:
    print("reading rain as integers fails:", error)

print("wet days as CSV:")
print(wet.select(["city", "rain_mm"]).to_csv(), end="")
