// Not built yet: the installation run.
