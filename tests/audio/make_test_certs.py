#!/usr/bin/env python3
"""Makes the certificates of the TLS tests in a folder:

  ca.crt          a test CA, to be trusted for the run only
  localhost.pem   key and certificate for "localhost", signed by the CA
  other-host.pem  the same for "elsewhere.neonara.test" (a name mismatch)
  expired.pem     for "localhost", but valid only in January 2020

Each .pem holds the private key and the certificate, as Icecast and
Python's ssl module read them.
"""
import datetime
import sys
from pathlib import Path

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID


def name(common):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common)])


def pem_key(key):
    return key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                             serialization.NoEncryption())


def pem_cert(cert):
    return cert.public_bytes(serialization.Encoding.PEM)


def make_ca(now):
    key = ec.generate_private_key(ec.SECP256R1())
    cert = (x509.CertificateBuilder()
            .subject_name(name("Neonara Test CA")).issuer_name(name("Neonara Test CA"))
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - datetime.timedelta(days=1))
            .not_valid_after(now + datetime.timedelta(days=30))
            .add_extension(x509.BasicConstraints(ca=True, path_length=0), critical=True)
            .add_extension(x509.KeyUsage(False, False, False, False, False, True, True, False, False), critical=True)
            .add_extension(x509.SubjectKeyIdentifier.from_public_key(key.public_key()), critical=False)
            .sign(key, hashes.SHA256()))
    return key, cert


def make_server(ca_key, ca_cert, host, not_before, not_after):
    key = ec.generate_private_key(ec.SECP256R1())
    cert = (x509.CertificateBuilder()
            .subject_name(name(host)).issuer_name(ca_cert.subject)
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(not_before).not_valid_after(not_after)
            .add_extension(x509.SubjectAlternativeName([x509.DNSName(host)]), critical=False)
            .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
            .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
            .add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(ca_key.public_key()), critical=False)
            .sign(ca_key, hashes.SHA256()))
    return pem_key(key) + pem_cert(cert)


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    now = datetime.datetime.now(datetime.timezone.utc)
    ca_key, ca_cert = make_ca(now)
    (out / "ca.crt").write_bytes(pem_cert(ca_cert))
    day = datetime.timedelta(days=1)
    (out / "localhost.pem").write_bytes(make_server(ca_key, ca_cert, "localhost", now - day, now + 30 * day))
    (out / "other-host.pem").write_bytes(
        make_server(ca_key, ca_cert, "elsewhere.neonara.test", now - day, now + 30 * day))
    jan2020 = datetime.datetime(2020, 1, 1, tzinfo=datetime.timezone.utc)
    (out / "expired.pem").write_bytes(make_server(ca_key, ca_cert, "localhost", jan2020, jan2020 + 30 * day))
    for pem in out.glob("*.pem"):
        pem.chmod(0o644)  # Icecast reads its certificate after dropping to nobody


if __name__ == "__main__":
    main()
