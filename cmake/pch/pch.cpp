// The object that carries a precompiled header for the targets that reuse it.
