begin x := <Date> + f(1, 2,) end.
