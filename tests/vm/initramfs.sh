# Pieces of the initramfs of an emulated machine, shared by the end-to-end test and host_vm.sh.
# Source it; each function writes into the root folder it is given.

# busybox with a link for each of its applets.
initramfs_busybox() { # root
  mkdir -p "$1/bin"
  cp /bin/busybox "$1/bin/busybox"
  local applet
  for applet in $("$1/bin/busybox" --list); do
    [ -e "$1/bin/$applet" ] || ln -s busybox "$1/bin/$applet"
  done
}

# The kernel modules with their dependencies, in load order; their paths are listed in LIST
# (a path inside the root), one a line, for the init script to insmod.
initramfs_modules() { # root, kernel version, list, module...
  local root=$1 version=$2 list=$3
  shift 3
  mkdir -p "$(dirname "$root$list")"
  : > "$root$list"
  local module file
  for module in "$@"; do
    for file in $(modprobe -S "$version" --show-depends "$module" | awk '$1 == "insmod" {print $2}'); do
      grep -qxF "$file" "$root$list" && continue
      mkdir -p "$root$(dirname "$file")"
      cp "$file" "$root$file"
      echo "$file" >> "$root$list"
    done
  done
}
