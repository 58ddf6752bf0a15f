// filled in by the nonparam work
