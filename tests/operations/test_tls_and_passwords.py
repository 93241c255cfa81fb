"""TLS with certificate verification and SCRAM-SHA-256 passwords: a server that accepts
only TLS connections with a password, its certificate from a throwaway CA naming
"localhost". Both classes take the password from the environment and the TLS settings
from libpq's own variables (PGSSLMODE, PGSSLROOTCERT)."""
from __future__ import annotations

import importlib
import logging
import os
import secrets
import shutil
import subprocess

import pytest

from clusters import init_primary
from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_utils.models.data_models.address import Address

DATABASE = "secure"
ROLE = "nelvor_tls_app"
PASSWORD = "pw-" + secrets.token_urlsafe(12)
STORES = {"historical": ("ledger_store", "PostgresImmutableConnection"),
          "state": ("current_store", "PostgresStateConnection")}


def store_class(kind: str) -> type:
    module, name = STORES[kind]
    return getattr(importlib.import_module(f"nelvor_data.connections.implementations.{module}"), name)


@pytest.fixture(params=sorted(STORES))
def cls(request) -> type:
    return store_class(request.param)


def openssl(*arguments: str, cwd: str) -> None:
    subprocess.run(["openssl", *arguments], cwd=cwd, check=True, capture_output=True, stdin=subprocess.DEVNULL)


def make_ca(folder: str, name: str) -> None:
    openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", f"{name}.key", "-out", f"{name}.crt", "-days", "2", "-subj", f"/CN={name}", cwd=folder)


def make_server_certificate(folder: str, ca: str, host: str) -> None:
    openssl("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", "server.key", "-out", "server.csr", "-subj", f"/CN={host}", cwd=folder)
    with open(os.path.join(folder, "san.ext"), "w", encoding="ascii") as extension:
        extension.write(f"subjectAltName=DNS:{host}\n")
    openssl("x509", "-req", "-in", "server.csr", "-CA", f"{ca}.crt", "-CAkey", f"{ca}.key", "-CAcreateserial",
            "-out", "server.crt", "-days", "2", "-extfile", "san.ext", cwd=folder)


@pytest.fixture(scope="module")
def secure_server(make_cluster):
    """Returns (cluster, folder of ca.crt and other_ca.crt)."""
    cluster = init_primary(make_cluster())
    folder = os.path.join(cluster.root, "tls")
    os.mkdir(folder)
    make_ca(folder, "ca")
    make_ca(folder, "other_ca")  # trusted by nobody: stands for a wrong root certificate
    make_server_certificate(folder, "ca", "localhost")
    os.chmod(os.path.join(folder, "server.key"), 0o600)  # the server refuses a key others can read
    if os.geteuid() == 0:
        shutil.chown(os.path.join(folder, "server.key"), user=cluster.os_user)
    cluster.write_hba(["hostssl all all 127.0.0.1/32 scram-sha-256", "hostssl all all ::1/128 scram-sha-256"])
    cluster.start({"ssl": "on", "ssl_cert_file": f"'{folder}/server.crt'", "ssl_key_file": f"'{folder}/server.key'",
                   "password_encryption": "'scram-sha-256'", "log_connections": "on"})
    cluster.sql(f"CREATE ROLE {ROLE} LOGIN PASSWORD '{PASSWORD}'")
    cluster.sql(f'CREATE DATABASE "{DATABASE}" OWNER {ROLE}')
    return cluster, folder


@pytest.fixture
def point_at(secure_server, point_classes):
    """point_at(host=..., password=..., sslmode=..., root=...) sets the variables of both classes."""
    cluster, folder = secure_server

    def point(host="localhost", password=PASSWORD, sslmode="verify-full", root="ca.crt") -> None:
        point_classes({"HOST": host, "PORT": str(cluster.port), "USER": ROLE, "PASSWORD": password,
                       "DATABASE": DATABASE},
                      PGSSLMODE=sslmode, PGSSLROOTCERT=os.path.join(folder, root), PGCONNECT_TIMEOUT="10")
    return point


def test_verified_tls_with_the_password_from_the_environment(cls, point_at, secure_server):
    cluster, _ = secure_server
    point_at()
    connection = cls()
    connection.connect()
    try:
        ssl, version = connection.execute(
            "SELECT ssl, version FROM pg_stat_ssl WHERE pid = pg_backend_pid()").fetchone()
        assert ssl is True and version.startswith("TLS")
        connection.prepare_connection()
        class_name = f"Secret{cls.__name__[8:12]}"  # one table per class
        table = connection.table_schema_manager.create_table(class_name, "1", {"n": "integer"})
        address = Address(class_name=class_name, class_version="1", object_id="o1", object_version="1")
        connection.begin()
        (connection.put if hasattr(connection, "put") else connection.insert)(address, {"n": 7})
        connection.commit()
        assert connection.execute(f'SELECT partition_key, n FROM "{table}"').fetchall() == [("o1", 7)]
    finally:
        connection.disconnect()
    assert f'user={ROLE} database={DATABASE} SSL enabled' in cluster.log()
    assert f'identity="{ROLE}" method=scram-sha-256' in cluster.log()


@pytest.mark.parametrize("setting, expected", [
    (dict(host="127.0.0.1"), 'does not match host name "127.0.0.1"'),
    (dict(root="other_ca.crt"), "certificate verify failed"),
    (dict(sslmode="disable"), "no encryption"),
], ids=["host-not-named", "unknown-ca", "no-tls"])
def test_unverifiable_or_plain_connections_are_refused(cls, point_at, setting, expected):
    point_at(**setting)
    connection = cls()
    with pytest.raises(Exception) as raised:
        connection.connect()
    assert type(raised.value).__name__ == "OperationalError"
    assert expected in str(raised.value)
    assert connection._connection is None


def test_wrong_password_is_refused_and_no_password_is_shown(cls, point_at, caplog):
    caplog.set_level(logging.DEBUG)
    wrong = "wrong-" + secrets.token_urlsafe(12)
    point_at(password=wrong)
    connection = cls()
    with pytest.raises(Exception) as refused:
        connection.connect()
    assert type(refused.value).__name__ == "OperationalError"
    assert f'password authentication failed for user "{ROLE}"' in str(refused.value)

    point_at()  # the right password: a failing statement's error must not show it either
    connection.connect()
    try:
        with pytest.raises(NelvorConnectionError) as failed:
            connection.execute("SELECT * FROM no_such_table WHERE x = %s", "probe")
    finally:
        connection.disconnect()
    shown = [str(refused.value), repr(refused.value), str(failed.value), repr(failed.value.__cause__),
             caplog.text, *(record.getMessage() for record in caplog.records)]
    for secret in (PASSWORD, wrong):
        assert not any(secret in text for text in shown)
