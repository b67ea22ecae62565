# Sourced by the end-to-end tests. Waits up to 10 s until the command succeeds.
wait_for() {
  for _ in $(seq 100); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# A data directory two levels down in a tree of its own (ROOT/tree/NAME), so that a file
# written through ".." by mistake still lands in the tree, where nothing_beside finds it.
data_dir() { # root [name]
  mkdir -p "$1/tree/${2:-data}" && echo "$1/tree/${2:-data}"
}
nothing_beside() { # root [name]
  [ "$(ls -A "$1")" = tree ] && [ "$(ls -A "$1/tree")" = "${2:-data}" ]
}

# Whether the item's history holds exactly one record as the program writes it, of the count.
one_record() { # directory item count
  lines=$(iconv -f CP932 -t UTF-8 "$1/$2.txt" | tr -d '\r') &&
    [ "$(printf '%s\n' "$lines" | wc -l)" = 1 ] &&
    printf '%s\n' "$lines" | grep -Eq "^\"[0-9]{2}月[0-9]{2}日\",\"[0-9]{2}時[0-9]{2}分[0-9]{2}秒\",$3\$"
}
