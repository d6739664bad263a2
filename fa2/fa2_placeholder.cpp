// Replaced by the FA2 codec.
