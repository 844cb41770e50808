// Keeps every subsystem library non-empty while its folder grows.
