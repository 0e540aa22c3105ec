// Compiled only to build the precompiled header its target holds for others.
