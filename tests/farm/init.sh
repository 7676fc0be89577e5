#!/bin/sh
# The init of a farm machine: loads the modules the shares need, brings the
# network up, mounts the share, then takes orders from the host on the
# second serial port, each run logging into /mnt/CASE with a work unit of
# its own, farm.CASE.MACHINE.NUMBER:
#   run CASE RUNS          starts runs 1 to RUNS at once, and reports each
#                          once all have ended
#   series CASE FIRST LAST [PAUSE]
#                          runs FIRST to LAST one after another, PAUSE seconds
#                          apart, saying "begin" as each starts and reporting
#                          it as it ends
#   hold CASE AT           starts run 0 of the program built to pause while
#                          it holds the log (AT: hold or row) and says
#                          "holding" once it has paused there
#   signal CASE SIGNAL     sends the held run the signal
#   release CASE           lets the held run go on
#   collect CASE           waits for the held run and reports it
#   stop                   powers the machine off
# A report is "result CASE MACHINE NUMBER STATUS START END OUTPUT".
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
for option in $(cat /proc/cmdline); do
    case $option in
    farm.machine=*) machine=${option#farm.machine=} ;;
    farm.kind=*) kind=${option#farm.kind=} ;;
    esac
done
hostname "$machine"
while read -r module; do
    insmod "$module" 2>/dev/null
done </modules.order
ip link set lo up
ip link set eth0 up
ip addr add 10.0.2.15/24 dev eth0
ip route add default via 10.0.2.2
echo "$machine" >/sys/module/nfs/parameters/nfs4_unique_id
# The control port stays open from here on: a serial port that nobody holds
# open drops what arrives.
exec 3<>/dev/ttyS1
stty -F /dev/ttyS1 raw -echo
say() { echo "$*" >&3; }
mkdir -p /mnt
case $kind in
nfs) mount -t nfs4 -o vers=4.1,port=2049,addr=10.0.2.100,clientaddr=10.0.2.15 10.0.2.100:/farm /mnt ;;
smb) mount -t cifs -o ip=10.0.2.100,port=445,vers=3.0,username=guest,password=,noperm //10.0.2.100/farm /mnt ;;
esac 2>/tmp/mount.err || {
    say "failed to mount the $kind share: $(cat /tmp/mount.err)"
    poweroff -f
}

# A client directory for one run, with its own work unit.
client() {
    dir=/tmp/$1/$2
    mkdir -p "$dir"
    cp /client/state.txt /client/user_info.txt "$dir/"
    sed "s/^name=.*/name=farm.$1.$machine.$2/" /client/result.txt >"$dir/result.txt"
    echo "$dir"
}

report() {
    dir=/tmp/$1/$2
    say "result $1 $machine $2 $(cat "$dir/status") $(cat "$dir/time") $(tr '\r\n' '  ' <"$dir/out")"
}

# Says on the console where a run that takes far longer than any should is
# waiting, for finding out why.
watch() {
    sleep 100
    [ -d "/proc/$1" ] || return
    echo "farm: $machine: process $1 still runs after 100 s, waiting in $(cat "/proc/$1/wchan")" >/dev/console
    cat "/proc/$1/stack" >/dev/console 2>&1
    echo w >/proc/sysrq-trigger
}

# Runs the program in a client directory and keeps what it did.
run_one() {
    dir=$(client "$1" "$2")
    cd "$dir" || return
    read -r start _ </proc/uptime
    wutally /P "/mnt/$1" >out 2>&1 &
    pid=$!
    watch "$pid" &
    watcher=$!
    wait "$pid"
    echo "$?" >status
    kill "$watcher" 2>/dev/null
    read -r end _ </proc/uptime
    echo "$start $end" >time
    cd /
}

say "ready $machine"
while read -r order case a b c <&3; do
    case $order in
    run)
        i=1
        while [ "$i" -le "$a" ]; do
            run_one "$case" "$i" &
            i=$((i + 1))
        done
        wait
        i=1
        while [ "$i" -le "$a" ]; do
            report "$case" "$i"
            i=$((i + 1))
        done
        say "done $case $machine"
        ;;
    series)
        i=$a
        while [ "$i" -le "$b" ]; do
            say "begin $case $machine $i"
            run_one "$case" "$i"
            report "$case" "$i"
            i=$((i + 1))
            [ -z "$c" ] || sleep "$c"
        done
        say "done $case $machine"
        ;;
    hold)
        dir=$(client "$case" 0)
        rm -f "/tmp/$case.mark"
        (
            cd "$dir" || exit
            read -r start _ </proc/uptime
            echo "$start" >start
            WUTALLY_PAUSE_AT=$a WUTALLY_PAUSE_MARK=/tmp/$case.mark \
                paused_wutally /P "/mnt/$case" >out 2>&1
            echo "$?" >status
            read -r end _ </proc/uptime
            echo "$start $end" >time
        ) &
        waited=0
        while [ ! -e "/tmp/$case.mark" ] && [ "$waited" -lt 600 ]; do
            sleep 0.1
            waited=$((waited + 1))
        done
        held=$(pidof paused_wutally)
        say "holding $case $machine $held"
        ;;
    signal)
        kill "-$a" "$held"
        say "signalled $case $machine $a"
        ;;
    release)
        rm -f "/tmp/$case.mark"
        ;;
    collect)
        wait
        report "$case" 0
        say "done $case $machine"
        ;;
    *)
        break
        ;;
    esac
done
umount /mnt
poweroff -f
