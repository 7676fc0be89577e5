#!/bin/sh
# The init of a farm machine: loads the modules the shares need, brings the
# network up, mounts the share, then takes orders from the host on the
# second serial port: "run CASE RUNS" starts RUNS runs of wutally at once,
# each in its own client directory with its own work unit, logging into
# /mnt/CASE; "stop" powers the machine off.
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
for option in $(cat /proc/cmdline); do
    case $option in
    farm.machine=*) machine=${option#farm.machine=} ;;
    farm.kind=*) kind=${option#farm.kind=} ;;
    farm.port=*) port=${option#farm.port=} ;;
    esac
done
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
say "ready $machine"
while read -r order case runs <&3; do
    [ "$order" = run ] || break
    i=1
    while [ "$i" -le "$runs" ]; do
        client=/tmp/$case/$i
        mkdir -p "$client"
        cp /client/state.txt /client/user_info.txt "$client/"
        sed "s/^name=.*/name=farm.$case.$machine.$i/" /client/result.txt >"$client/result.txt"
        i=$((i + 1))
    done
    i=1
    while [ "$i" -le "$runs" ]; do
        (
            cd "/tmp/$case/$i" || exit
            read -r start _ </proc/uptime
            wutally /P "/mnt/$case" >out 2>&1
            echo "$?" >status
            read -r end _ </proc/uptime
            echo "$start $end" >time
        ) &
        i=$((i + 1))
    done
    wait
    i=1
    while [ "$i" -le "$runs" ]; do
        client=/tmp/$case/$i
        say "result $case $machine $i $(cat "$client/status") $(cat "$client/time") $(tr '\r\n' '  ' <"$client/out")"
        i=$((i + 1))
    done
    say "done $case $machine"
done
umount /mnt
poweroff -f
