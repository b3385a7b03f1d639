// Keeps the object library non-empty before any resource exists.
