// Keeps the application library non-empty until its first component lands.
