// Not built yet: the SETUP.INI reader.
