#!/usr/bin/env python3
"""Writes a small synthetic Blu-ray movie folder for tests.

    make_bluray_folder.py FOLDER [--stereo] [--packets N] [--backup]

The folder gets BDMV/index.bdmv, BDMV/MovieObject.bdmv, one playlist
BDMV/PLAYLIST/00000.mpls, the clip information BDMV/CLIPINF/00001.clpi and
the stream BDMV/STREAM/00001.m2ts: N source packets of 192 bytes (a 4-byte
arrival time header and a 188-byte transport stream packet), starting with a
PAT and a PMT for one H.264 video stream, the rest null packets.

With --stereo the title is stereoscopic (3D): the index file's 3D flag is
set, the playlist's extension data carries the stereoscopic stream number
tables (ID1 = 2, ID2 = 1) and the sub-path extension block (ID1 = 2,
ID2 = 2) that pairs clip 00001 (base view) with 00002 (dependent view), and
both clips' information carries extent start points (ID1 = 2, ID2 = 4) that
cut each stream into equal extents (three, or --extents N). --backup also writes the copies
under BDMV/BACKUP that a disc carries.

All numbers in the navigation files are big-endian. Standard library only.
"""

import argparse
import os
import struct
import sys

SOURCE_PACKET_BYTES = 192
TS_PACKET_BYTES = 188
# Extents of a stereoscopic stream are whole aligned units of 32 source
# packets (6144 bytes, three 2048-byte sectors).
ALIGNED_UNIT_PACKETS = 32

VIDEO_PID = 0x1011
DEPENDENT_VIDEO_PID = 0x1012
PMT_PID = 0x0100
PCR_PID = 0x1001
NULL_PID = 0x1FFF
CODING_H264 = 0x1B
CODING_MVC = 0x20
VIDEO_1080P_23976 = 0x61  # video format 6 (1080p), frame rate 1 (23.976 Hz)
TICKS_45KHZ = 45000
TITLE_SECONDS = 10


def u8(value):
    return struct.pack(">B", value)


def u16(value):
    return struct.pack(">H", value)


def u32(value):
    return struct.pack(">I", value)


def u64(value):
    return struct.pack(">Q", value)


def length_prefixed32(body):
    return u32(len(body)) + body


def extension_data(blocks):
    """Extension data with its length field; blocks is a list of
    (ID1, ID2, data). The blocks follow the entry table back to back; start
    addresses count from the length field."""
    table_end = 12 + 12 * len(blocks)
    table = b""
    address = table_end
    for id1, id2, data in blocks:
        table += u16(id1) + u16(id2) + u32(address) + u32(len(data))
        address += len(data)
    body = u32(table_end) + b"\0\0\0" + u8(len(blocks)) + table
    body += b"".join(data for _, _, data in blocks)
    return length_prefixed32(body)


# --- index.bdmv ---------------------------------------------------------------

def movie_object_ref(object_id):
    """A 12-byte index object naming a movie object (object type 1)."""
    return u32(1 << 30) + u32(object_id) + u32(0)


def index_file(stereo):
    app_info = u8(0x20 if stereo else 0) + u8(VIDEO_1080P_23976) + b"\0" * 32
    title = u32(1 << 30) + u32(0) + u32(0)  # movie object, playback type 0, object 0
    indexes = movie_object_ref(0) + movie_object_ref(0) + u16(1) + title
    header_bytes = 40
    index_start = header_bytes + 4 + len(app_info)
    header = b"INDX" + b"0200" + u32(index_start) + u32(0) + b"\0" * 24
    return header + length_prefixed32(app_info) + length_prefixed32(indexes)


# --- MovieObject.bdmv ---------------------------------------------------------

def movie_object_file():
    # One navigation command: Play PlayList 0 (branch group, play sub-group,
    # one immediate operand).
    play_playlist = bytes([0x22, 0x80, 0x00, 0x00]) + u32(0) + u32(0)
    movie_object = u16(0) + u16(1) + play_playlist  # flags, command count
    objects = u32(0) + u16(1) + movie_object
    header = b"MOBJ" + b"0200" + u32(0) + b"\0" * 28
    return header + length_prefixed32(objects)


# --- 00000.mpls ---------------------------------------------------------------

def stream_entry_main_path(pid):
    return u8(9) + u8(1) + u16(pid) + b"\0" * 6


def stream_entry_sub_path(pid, sub_path_id):
    return u8(9) + u8(2) + u8(sub_path_id) + u8(0) + u16(pid) + b"\0" * 4


def video_attributes(coding_type):
    return u8(5) + u8(coding_type) + u8(VIDEO_1080P_23976) + b"\0" * 3


def play_item(clip, out_time):
    counts = u8(1) + b"\0" * 7  # one primary video stream
    streams = stream_entry_main_path(VIDEO_PID) + video_attributes(CODING_H264)
    stn_body = u16(0) + counts + b"\0" * 4 + streams
    body = (clip.encode("ascii") + b"M2TS" + u16(1) + u8(0) + u32(0) + u32(out_time)
            + u64(0) + u32(0) + u16(len(stn_body)) + stn_body)
    return u16(len(body)) + body


def sub_play_item(clip, out_time):
    body = (clip.encode("ascii") + b"M2TS" + u32(1 << 1) + u8(0) + u32(0) + u32(out_time)
            + u16(0) + u32(0))
    return u16(len(body)) + body


def stereo_sub_path(clip, out_time):
    # Sub-path type 8: the dependent view of a stereoscopic title.
    items = sub_play_item(clip, out_time)
    body = u8(0) + u8(8) + u16(0) + u8(0) + u8(1) + items
    return u32(len(body)) + body


def stereo_stream_table():
    # One table per play item: fixed-offset flag word, the dependent-view
    # video stream (in sub-path 0) with its attributes, and its offset
    # sequence reference.
    body = (u16(0) + stream_entry_sub_path(DEPENDENT_VIDEO_PID, 0) + video_attributes(CODING_MVC)
            + u16(0))
    return u16(len(body)) + body


def playlist_file(stereo, out_time):
    app_info = u8(0) + u8(1) + u16(0) + u64(0) + u16(0x4000)  # sequential playback
    items = play_item("00001", out_time)
    playlist = length_prefixed32(u16(0) + u16(1) + u16(0) + items)
    mark = u8(0) + u8(1) + u16(0) + u32(0) + u16(0xFFFF) + u32(0)  # entry mark
    marks = length_prefixed32(u16(1) + mark)
    header_bytes = 40
    playlist_start = header_bytes + 4 + len(app_info)
    marks_start = playlist_start + len(playlist)
    extension = b""
    if stereo:
        sub_paths = u16(1) + stereo_sub_path("00002", out_time)
        extension = extension_data([(2, 1, stereo_stream_table()),
                                    (2, 2, length_prefixed32(sub_paths))])
    extension_start = marks_start + len(marks) if extension else 0
    header = (b"MPLS" + b"0200" + u32(playlist_start) + u32(marks_start) + u32(extension_start)
              + b"\0" * 20)
    return header + length_prefixed32(app_info) + playlist + marks + extension


# --- xxxxx.clpi ---------------------------------------------------------------

def clip_info_file(packets, pid, coding_type, out_time, start_points):
    clip_info = (u16(0) + u8(1) + u8(1) + u32(0) + u32(48000000 // 8) + u32(packets)
                 + b"\0" * 128)
    type_info = u8(0x80) + b"HDMV" + b"\0" * 9 + b"\0" * 16
    clip_info += u16(len(type_info)) + type_info

    sequence = length_prefixed32(u8(0) + u8(1) + u32(0) + u8(1) + u8(0)
                                 + u16(PCR_PID) + u32(0) + u32(0) + u32(out_time))
    coding_info = u8(coding_type) + u8(VIDEO_1080P_23976) + u8(0x30) + b"\0" * 18
    program = (u8(0) + u8(1) + u32(0) + u16(PMT_PID) + u8(1) + u8(0)
               + u16(pid) + u8(len(coding_info)) + coding_info)
    program = length_prefixed32(program)

    # Characteristic point information: an entry point map with one stream,
    # one coarse and one fine entry at packet 0.
    stream_map_start = 2 + 12
    fine_table_start = 4 + 8
    # pid (16), then 80 bits: 10 unused, stream type (4, 1 = video), coarse
    # entries (16), fine entries (18), start address of the stream's map (32).
    bits = (1 << 66) | (1 << 50) | (1 << 32) | stream_map_start
    ep_stream = u16(pid) + bits.to_bytes(10, "big")
    ep_map = u8(0) + u8(1) + ep_stream
    ep_map += u32(fine_table_start) + u32(0) + u32(0) + u32(0x10000000)
    cpi = length_prefixed32(u16(1) + ep_map)  # CPI type 1: entry point map
    clip_marks = u32(0)

    extension = b""
    if start_points is not None:
        points = u32(len(start_points)) + b"".join(u32(p) for p in start_points)
        extension = extension_data([(2, 4, length_prefixed32(points))])

    header_bytes = 40
    clip_info_block = length_prefixed32(clip_info)
    sequence_start = header_bytes + len(clip_info_block)
    program_start = sequence_start + len(sequence)
    cpi_start = program_start + len(program)
    marks_start = cpi_start + len(cpi)
    extension_start = marks_start + len(clip_marks) if extension else 0
    header = (b"HDMV" + b"0200" + u32(sequence_start) + u32(program_start) + u32(cpi_start)
              + u32(marks_start) + u32(extension_start) + b"\0" * 12)
    return header + clip_info_block + sequence + program + cpi + clip_marks + extension


# --- xxxxx.m2ts ---------------------------------------------------------------

def mpeg_crc32(data):
    crc = 0xFFFFFFFF
    for byte in data:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else (crc << 1)
            crc &= 0xFFFFFFFF
    return crc


def section_packet(pid, section):
    section += u32(mpeg_crc32(section))
    payload = b"\0" + section  # pointer field
    header = bytes([0x47, 0x40 | (pid >> 8), pid & 0xFF, 0x10])  # payload unit start, payload only
    return (header + payload).ljust(TS_PACKET_BYTES, b"\xff")


def pat_packet():
    body = u16(1) + u8(0xC1) + u8(0) + u8(0) + u16(1) + u16(0xE000 | PMT_PID)
    return section_packet(0, u8(0x00) + u16(0xB000 | (len(body) + 4)) + body)


def pmt_packet(pid, stream_type):
    body = (u16(1) + u8(0xC1) + u8(0) + u8(0) + u16(0xE000 | PCR_PID) + u16(0xF000)
            + u8(stream_type) + u16(0xE000 | pid) + u16(0xF000))
    return section_packet(PMT_PID, u8(0x02) + u16(0xB000 | (len(body) + 4)) + body)


def null_packet():
    return bytes([0x47, NULL_PID >> 8, NULL_PID & 0xFF, 0x10]) + b"\xff" * (TS_PACKET_BYTES - 4)


def stream_file(packets, pid, stream_type):
    ts_packets = [pat_packet(), pmt_packet(pid, stream_type)]
    null = null_packet()
    out = bytearray()
    for index in range(packets):
        packet = ts_packets[index] if index < len(ts_packets) else null
        arrival_time = (index * 1000) & 0x3FFFFFFF
        out += u32(arrival_time) + packet
    return bytes(out)


# --- the folder ---------------------------------------------------------------

def write(folder, relative, data, backup):
    paths = [relative]
    if backup and not relative.startswith("STREAM"):
        paths.append(os.path.join("BACKUP", relative))
    for path in paths:
        full = os.path.join(folder, "BDMV", path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as out:
            out.write(data)


def main(argv):
    parser = argparse.ArgumentParser(description="Write a small synthetic Blu-ray movie folder.")
    parser.add_argument("folder")
    parser.add_argument("--stereo", action="store_true", help="make the title stereoscopic (3D)")
    parser.add_argument("--packets", type=int, default=1536,
                        help="source packets per stream, a multiple of 96 (default 1536)")
    parser.add_argument("--backup", action="store_true", help="also write the BDMV/BACKUP copies")
    parser.add_argument("--extents", type=int, default=3,
                        help="extents per stereoscopic stream (default 3); --packets must be a multiple of 32 times this")
    args = parser.parse_args(argv)
    if args.extents <= 0 or args.packets <= 0 or args.packets % (args.extents * ALIGNED_UNIT_PACKETS) != 0:
        parser.error("--packets must be a positive multiple of %d" % (args.extents * ALIGNED_UNIT_PACKETS))

    out_time = TITLE_SECONDS * TICKS_45KHZ
    extent_packets = args.packets // args.extents
    points = [i * extent_packets for i in range(args.extents)] if args.stereo else None
    folder = args.folder
    for sub in ("PLAYLIST", "CLIPINF", "STREAM", "AUXDATA", "BDJO", "JAR", "META"):
        os.makedirs(os.path.join(folder, "BDMV", sub), exist_ok=True)
    write(folder, "index.bdmv", index_file(args.stereo), args.backup)
    write(folder, "MovieObject.bdmv", movie_object_file(), args.backup)
    write(folder, os.path.join("PLAYLIST", "00000.mpls"), playlist_file(args.stereo, out_time), args.backup)
    write(folder, os.path.join("CLIPINF", "00001.clpi"),
          clip_info_file(args.packets, VIDEO_PID, CODING_H264, out_time, points), args.backup)
    write(folder, os.path.join("STREAM", "00001.m2ts"),
          stream_file(args.packets, VIDEO_PID, CODING_H264), args.backup)
    if args.stereo:
        write(folder, os.path.join("CLIPINF", "00002.clpi"),
              clip_info_file(args.packets, DEPENDENT_VIDEO_PID, CODING_MVC, out_time, points), args.backup)
        write(folder, os.path.join("STREAM", "00002.m2ts"),
              stream_file(args.packets, DEPENDENT_VIDEO_PID, CODING_MVC), args.backup)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
