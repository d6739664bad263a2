# Shared settings of the Wine tooling; sourced by the scripts beside it.
# Everything lives under one machine-wide folder so that parallel builds and
# test runs share one template prefix.
LANTERNA_VAR=${LANTERNA_VAR:-/var/tmp/lanterna}
LANTERNA_LOCPATH=$LANTERNA_VAR/locale
LANTERNA_TEMPLATE=$LANTERNA_VAR/wine-template
LANTERNA_PREFIXES=$LANTERNA_VAR/prefixes

# Code page 932 comes from the Japanese locale; the overrides keep Wine from
# offering Mono/Gecko downloads and from writing desktop menu entries.
lanterna_wine_env() {
  export LOCPATH=$LANTERNA_LOCPATH
  # Bash itself cannot load the private locale and would warn; only the
  # programs it starts need it.
  { export LC_ALL=ja_JP.UTF-8; } 2>/dev/null
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
  unset WINEARCH
}
