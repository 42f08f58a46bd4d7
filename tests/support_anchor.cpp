// Keeps the support library non-empty while no support file exists.
