#!/usr/bin/python3
"""Reads a table with python3-dbfread (an independent reader) and prints JSON:
header facts, fields, live records and deleted records with memo texts."""
import json
import sys

from dbfread import DBF


def value(v):
    if v is None or isinstance(v, (bool, int, float, str)):
        return v
    if isinstance(v, bytes):
        return v.decode('cp1252')
    return str(v)


def main(path):
    table = DBF(path, encoding='cp1252', load=True, char_decode_errors='strict')
    out = {
        'dbversion': table.header.dbversion,
        'numrecords': table.header.numrecords,
        'headerlen': table.header.headerlen,
        'recordlen': table.header.recordlen,
        'fields': [[f.name, f.type, f.length, f.decimal_count] for f in table.fields],
        'records': [{k: value(v) for k, v in r.items()} for r in table.records],
        'deleted': [{k: value(v) for k, v in r.items()} for r in table.deleted],
    }
    json.dump(out, sys.stdout)


if __name__ == '__main__':
    main(sys.argv[1])
