#!/usr/bin/env bash
# Gives CI a real default printer: a CUPS queue that turns every job into a PDF file, so the
# printer test can check what a print job really produced. Idempotent; needs root (or sudo).
# Prints the folder where the PDFs land.
set -euo pipefail

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

packages=(cups cups-client printer-driver-cups-pdf poppler-utils)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "printer-setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# No init system in a CI container: start the scheduler by hand when it is not answering.
if ! lpstat -r 2>/dev/null | grep -q "scheduler is running"; then
    $sudo cupsd
    for _ in $(seq 1 50); do
        lpstat -r 2>/dev/null | grep -q "scheduler is running" && break
        sleep 0.2
    done
fi
lpstat -r | grep -q "scheduler is running" || { echo "printer-setup: cupsd did not start" >&2; exit 1; }

queue=PDF
if ! lpstat -v "$queue" >/dev/null 2>&1; then
    # The model name differs between package versions; take whatever cups-pdf ships.
    model=$(lpinfo -m 2>/dev/null | awk '/CUPS-PDF_opt/ {print $1; exit}')
    [ -n "$model" ] || model=$(lpinfo -m 2>/dev/null | awk '/CUPS-PDF/ {print $1; exit}')
    if [ -z "$model" ]; then
        echo "printer-setup: no CUPS-PDF model found by lpinfo -m" >&2
        exit 1
    fi
    $sudo lpadmin -p "$queue" -E -v cups-pdf:/ -m "$model"
fi
$sudo cupsenable "$queue"
$sudo cupsaccept "$queue"
$sudo lpadmin -d "$queue"
lpoptions -d "$queue" >/dev/null

out=$(awk '$1 == "Out" {print $2}' /etc/cups/cups-pdf.conf 2>/dev/null | tail -n 1)
out=${out:-'${HOME}/PDF'}
echo "printer-setup: default printer $(lpstat -d | sed 's/.*: //'); PDFs land in ${out//'${HOME}'/$HOME}"
