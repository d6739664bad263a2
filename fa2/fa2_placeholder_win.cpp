// Replaced by the FA2 platform code.
