# The Debian changelog (changelog.gz in the package) from CHANGELOG.md: one
# entry for each released version, "## X.Y.Z - YYYY-MM-DD", its items as
# the entry's items, wrapped to 78 columns. Unreleased work is left out.
#   awk -v package=drsprep -v maintainer='Name <mail>' -f changelog.awk CHANGELOG.md
function flush_item() {
  if (item == "") return
  gsub(/`/, "", item)
  n = split(item, words, " ")
  line = "  *"
  for (i = 1; i <= n; i++) {
    if (length(line) + 1 + length(words[i]) > 78 && line !~ /^ *\*?$/) {
      print line
      line = "   "
    }
    line = line " " words[i]
  }
  print line
  item = ""
}
function close_entry() {
  flush_item()
  if (version == "") return
  cmd = "LC_ALL=C date -u -R -d " date
  cmd | getline stamp
  close(cmd)
  print ""
  print " -- " maintainer "  " stamp
  print ""
  version = ""
}
/^## / {
  close_entry()
  if (match($0, /^## [0-9][0-9.]* - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$/)) {
    version = $2
    date = $4
    print package " (" version ") unstable; urgency=medium"
    print ""
  }
  next
}
version == "" { next }
/^- / { flush_item(); item = substr($0, 3); next }
/^  [^ ]/ { sub(/^ +/, ""); item = item " " $0; next }
/^$/ { flush_item(); next }
END { close_entry() }
