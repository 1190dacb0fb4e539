// The shared library's own translation unit; the layers are linked in whole.
