#!/usr/bin/env bash
# Writes a boot configuration of about SIZE_MB megabytes to standard output:
# init commands of the kinds a real boot project holds, the display command
# last, CR LF line ends. The display data holds the lines of another device
# name, so a run on a device with the example's identity rewrites it.
# usage: gen_config.sh SIZE_MB
set -eu
mb=${1:?usage: gen_config.sh SIZE_MB}
LC_ALL=C awk -v bytes=$((mb * 1024 * 1024)) 'BEGIN {
  ORS = "\r\n"
  print "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
  print "<QvBootProject version=\"3.4\" xmlns:io=\"urn:talvenor:quorvex:io\">"
  print "  <Target>"; print "    <Name>KQ5020</Name>"; print "    <Cpu>x86</Cpu>"; print "  </Target>"
  print "  <InitCmds>"
  # Four kinds in turn; the third has the display command'"'"'s first three
  # children, so the search reads further into it than into the others.
  n = 0; written = 400
  while (written < bytes) {
    k = n % 4
    if (k == 0) { key = "Init0\\Sys: Set Cycle Time"; port = 100; grp = 16384; offs = 1; data = "10270000" }
    if (k == 1) { key = "Init0\\Sys: Load Retain Data"; port = 100; grp = 16400; offs = n; data = "" }
    if (k == 2) { key = "Init1\\IO: Create Devices"; port = 300; grp = 20481; offs = 34 + n; data = "0200000001000000" }
    if (k == 3) { key = "Init2\\Plc: Start"; port = 851; grp = 61696; offs = 0; data = "01000000" }
    s = "    <InitCmd>\r\n      <key>" key "</key>\r\n      <port>" port "</port>\r\n" \
        "      <iGrp>" grp "</iGrp>\r\n      <iOffs>" offs "</iOffs>\r\n" \
        "      <data>" data "</data>\r\n      <comment>command " n "</comment>\r\n    </InitCmd>"
    print s
    written += length(s) + 2; n++
  }
  print "    <InitCmd>"
  print "      <key>Init1\\IO: Create Devices</key>"
  print "      <port>300</port>"
  print "      <iGrp>20481</iGrp>"
  print "      <iOffs>33</iOffs>"
  print "      <data>0A00000001000000140000004b5135303230205850452076322e3000004e616d653a204f4c445f4e414d45000000000000FF0000000000C800000001000000</data>"
  print "      <comment>LCD 2x17</comment>"
  print "    </InitCmd>"
  print "  </InitCmds>"
  print "</QvBootProject>"
}'
