// Keeps the library non-empty until the first engine lands; remove then.
