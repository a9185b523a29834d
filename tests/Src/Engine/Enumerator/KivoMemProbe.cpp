// An empty library whose name nothing else in the prefix has, for the process-memory walk to find.
