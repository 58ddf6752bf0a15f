// filled in by the results work
