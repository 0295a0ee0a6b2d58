// The shared library carries the whole engine core (linked in whole); the
// version script keeps every symbol but the PDF_ functions local.
