# Shared by scripts/demo and scripts/screenshot: the package step, the demo database and its settings file.
# Source it; it defines functions only. $root must name the repository.

# shellcheck source=packages.sh
. "$root/scripts/lib/packages.sh"

# selvo_demo_sql ARGS...: the mariadb client as the server's root, texts as latin1 bytes.
selvo_demo_sql() {
    mariadb --no-defaults -uroot --socket="$selvo_demo_socket" --default-character-set=latin1 "$@"
}

# selvo_start_demo_database STATE_FILE ACCESS_POINT_ROWS: starts a private MariaDB server and fills
# the database vardeno with the demo installation. ACCESS_POINT_ROWS are the VALUES rows of the
# three access points (ids 1 to 3; 1 and 3 all-access), whose addresses the caller knows. Sets
# selvo_demo_port.
selvo_start_demo_database() {
    local state=$1 points=$2
    "$root/tests/support/mariadb-fixture" start "$state"
    selvo_demo_port=$(sed -n 's/^port=//p' "$state")
    selvo_demo_socket=$(sed -n 's/^socket=//p' "$state")
    selvo_demo_sql <<SQL
CREATE DATABASE vardeno CHARACTER SET latin1;
CREATE USER 'vardeno'@'127.0.0.1' IDENTIFIED BY 'selvo-demo';
GRANT SELECT, INSERT, UPDATE ON vardeno.* TO 'vardeno'@'127.0.0.1';
SQL
    selvo_demo_sql vardeno <"$root/tests/fixtures/schema.sql"
    selvo_demo_sql vardeno -e "INSERT INTO timeraccesspoint (timeraccesspointid, name, macaddress, localip,
        publicip, udpport, tcpport, currentdeviceindex, active, comment, allaccess, readaccess, outdoor)
        VALUES $points"
    # The file is UTF-8 for reading; the installation keeps Windows-1250.
    iconv -f UTF-8 -t CP1250 "$root/tools/demo/demo-data.sql" | selvo_demo_sql vardeno
}

# selvo_write_demo_settings FILE: the program's settings for the demo database.
selvo_write_demo_settings() {
    # The stored password is each byte of the clear one plus 5.
    local encoded
    encoded=$(printf '%s' selvo-demo | od -An -tu1 -v | tr -s ' ' '\n' | sed '/^$/d' |
        while read -r b; do printf "\\$(printf '%03o' $((b + 5)))"; done)
    cat >"$1" <<INI
[Database]
HostName=127.0.0.1
DatabaseName=vardeno
Port=$selvo_demo_port
Username=vardeno
Password=$encoded

[Options]
Mode=0
INI
}

# selvo_start_demo_doors HOSTS_STATE SIMULATOR FRAMES_LOG: makes three door hosts and starts one
# simulated access point per door in them, answering "ok" and logging every frame to FRAMES_LOG. Door 1
# and door 3 let every card in (all-access), door 2 is a single door; each listens on its own port.
# Sets selvo_demo_points (the VALUES rows for selvo_start_demo_database) and appends the simulators'
# process ids to the array selvo_demo_sims. The caller stops them and removes the hosts.
selvo_start_demo_doors() {
    local state=$1 simulator=$2 frames_log=$3
    CI= "$root/tests/device/door-hosts" start "$state" 3
    local hosts
    mapfile -t hosts < <(sed -n 's/^host=//p' "$state")
    [ ${#hosts[@]} -eq 3 ] || { echo "the door hosts could not be made" >&2; return 1; }
    local names=("Glavna kapija" "Magacin" "Upravna zgrada") allaccess=(Y N Y) ports=(4370 4371 4372)
    local i ns door
    selvo_demo_points=""
    : >"$frames_log"
    for i in 0 1 2; do
        read -r ns _ door _ <<<"${hosts[$i]}"
        selvo_demo_points+="($((i + 1)), '${names[$i]}', '00:17:61:00:00:0$((i + 1))', '$door', '$door', ${ports[$i]}, 4370, 0, 'Y', NULL, '${allaccess[$i]}', 'Y', 'N'),"
        ip netns exec "$ns" "$simulator" --bind "$door" --port "${ports[$i]}" --mode ok --log "$frames_log" &
        selvo_demo_sims+=($!)
    done
    selvo_demo_points=${selvo_demo_points%,}
}
